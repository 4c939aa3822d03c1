#pragma once

#include <QByteArray>
#include <deque>

// The datagrams of the Velmora stream waiting for their turn on the wire, and their bytes.
class StreamOutbox
{
public:
    void push(QByteArray datagram);
    QByteArray pop();
    bool isEmpty() const { return m_datagrams.empty(); }
    qsizetype front() const { return m_datagrams.front().size(); }
    qint64 bytes() const { return m_bytes; }
    qsizetype count() const { return qsizetype(m_datagrams.size()); }
    void clear();

private:
    std::deque<QByteArray> m_datagrams;
    qint64 m_bytes = 0;
};
