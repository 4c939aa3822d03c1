#pragma once

#include <QByteArray>
#include <QString>
#include <array>

// The small datagrams the console broadcasts on the mouse port; MouseDatagram reads them.
namespace datagram {

inline constexpr char kCursorPrefix[] = "11";
inline constexpr char kBeaconPrefix[] = "00";

// "11" + cursor code + "/" + X + "/" + Y + "/", all signed decimal: (512, 384) with code 0
// reads "110/512/384/".
QByteArray cursor(int cursorCode, int x, int y);
// The same text written into a buffer of the caller's, for the 10 ms tick; returns its length.
// The longest text, two six-character coordinates, takes 18 bytes.
using CursorText = std::array<char, 21>;
int cursor(CursorText &text, int cursorCode, int x, int y);

// "00" followed by the computer name in code page 936.
QByteArray beacon(const QString &computerName);

} // namespace datagram
