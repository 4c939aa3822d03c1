#include "protocol/Datagrams.h"

#include "text/Cp936.h"

#include <algorithm>
#include <cstdio>

namespace datagram {

QByteArray cursor(int cursorCode, int x, int y)
{
    CursorText text;
    const int length = cursor(text, cursorCode, x, y);
    return QByteArray(text.data(), length);
}

int cursor(CursorText &text, int cursorCode, int x, int y)
{
    const int length =
        std::snprintf(text.data(), text.size(), "%s%d/%d/%d/", kCursorPrefix, cursorCode, x, y);
    return std::clamp(length, 0, int(text.size()) - 1);
}

QByteArray beacon(const QString &computerName)
{
    return QByteArray(kBeaconPrefix) + cp936::encode(computerName);
}

} // namespace datagram
