#include "classroom/Datagrams.h"

#include "platform/Cp936.h"

namespace datagram {

QByteArray cursor(int cursorCode, int x, int y)
{
    QByteArray text("11");
    text += QByteArray::number(cursorCode);
    text += '/';
    text += QByteArray::number(x);
    text += '/';
    text += QByteArray::number(y);
    text += '/';
    return text;
}

QByteArray beacon(const QString &computerName)
{
    return QByteArray("00") + cp936::encode(computerName);
}

} // namespace datagram
