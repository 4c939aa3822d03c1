#include "classroom/StreamOutbox.h"

void StreamOutbox::push(QByteArray datagram)
{
    m_bytes += datagram.size();
    m_datagrams.push_back(std::move(datagram));
}

QByteArray StreamOutbox::pop()
{
    QByteArray datagram = std::move(m_datagrams.front());
    m_datagrams.pop_front();
    m_bytes -= datagram.size();
    return datagram;
}

void StreamOutbox::clear()
{
    m_datagrams.clear();
    m_bytes = 0;
}
