#include "classroom/Monitoring.h"

#include "classroom/CommandChannel.h"
#include "classroom/Commands.h"

Monitoring::Monitoring(const CommandChannel &channel,
                       std::function<bool(const QString &)> isOwnAddress, QObject *parent)
    : QObject(parent), m_channel(channel), m_isOwnAddress(std::move(isOwnAddress))
{
}

void Monitoring::datagramReceived(int numberBytes, const QString &fromIP, const char *bytes)
{
    // The console's own cursor datagrams and beacons come back on this port.
    if (m_isOwnAddress(fromIP))
        return;
    if (numberBytes > 0) {
        if (m_stream.size() + numberBytes > kStreamLimit)
            m_stream.clear();
        m_stream.append(bytes, numberBytes);
    }
    if (numberBytes >= kChunkSize)
        return;
    frameComplete();
}

void Monitoring::frameComplete()
{
    if (m_decoder.decode(m_stream))
        emit pictureChanged();
    m_stream.clear();
    m_stream.squeeze();
}

void Monitoring::sendNotScreen() const
{
    m_channel.SendToRow(m_monitorIndex, command::NotScreen);
}

void Monitoring::sendScreen() const
{
    m_channel.SendToRow(m_monitorIndex, command::Screen);
}
