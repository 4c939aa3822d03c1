#pragma once

#include <QByteArray>
#include <QByteArrayView>

// A datagram of the console's mouse port as a student reads it: a cursor position
// ("11<code>/<x>/<y>/", at most 20 bytes) or a presence beacon ("00" + computer name, at most
// 17 bytes). Anything else, a monitored-screen chunk included, is Other.
struct MouseDatagram
{
    enum class Kind { Cursor, Beacon, Other };

    Kind kind = Kind::Other;
    int code = 0;
    int x = 0;
    int y = 0;
    // The console's computer name in code page 936 bytes (beacons only).
    QByteArray name;

    // Numbers are signed decimal as the console writes them: an optional "-", digits, no
    // blanks, no "+", no leading zeros, within 32 bits; anything else makes the datagram Other.
    static MouseDatagram parse(QByteArrayView datagram);
};
