#include "classroom/Datagrams.h"

#include "platform/Cp936.h"

#include <algorithm>
#include <cstdio>

namespace datagram {

QByteArray cursor(int cursorCode, int x, int y)
{
    // The longest text, two six-character coordinates, takes 18 bytes of the 20-byte buffer.
    char text[20 + 1];
    const int length = std::snprintf(text, sizeof text, "11%d/%d/%d/", cursorCode, x, y);
    return QByteArray(text, std::clamp(length, 0, int(sizeof text) - 1));
}

QByteArray beacon(const QString &computerName)
{
    return QByteArray("00") + cp936::encode(computerName);
}

} // namespace datagram
