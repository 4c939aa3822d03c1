#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <span>

// The Velmora stream's sending socket: plain UDP to the classroom's broadcast address, usable
// from the stream's own thread (Qt's sockets belong to the thread of their event loop). A
// datagram the network refuses (a full queue, no route yet) is dropped, never waited for.
class StreamSocket
{
public:
    StreamSocket() = default;
    ~StreamSocket();
    StreamSocket(const StreamSocket &) = delete;
    StreamSocket &operator=(const StreamSocket &) = delete;

    // An IPv4 address in dotted form and a port; empty text on success, else why not.
    QString open(const QString &host, quint16 port);
    void close();
    struct Sent
    {
        qsizetype datagrams = 0;
        qint64 bytes = 0;
    };
    // The datagrams in order, in as few calls into the kernel as can carry them; what went out.
    Sent send(std::span<const QByteArray> datagrams);

private:
    int m_descriptor = -1;
    quint32 m_address = 0;
    quint16 m_port = 0;
};
