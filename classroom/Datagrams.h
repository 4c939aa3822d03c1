#pragma once

#include <QByteArray>
#include <QString>

// The small datagrams the console broadcasts on the mouse port.
namespace datagram {

// "11" + cursor code + "/" + X + "/" + Y + "/", all signed decimal: (512, 384) with code 0
// reads "110/512/384/".
QByteArray cursor(int cursorCode, int x, int y);

// "00" followed by the computer name in code page 936.
QByteArray beacon(const QString &computerName);

} // namespace datagram
