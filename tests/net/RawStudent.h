#pragma once

#include <QByteArray>

// A student agent reduced to a plain non-blocking socket, for what a Qt socket cannot do:
// leave its input unread, shrink its buffers, or end with a reset.
class RawStudent
{
public:
    // Connects from fromAddress (a 127.0.0.x address) to the console's port on 127.0.0.1;
    // a receiveBuffer above 0 shrinks the kernel's buffer before connecting.
    RawStudent(const char *fromAddress, int port, int receiveBuffer = 0);
    ~RawStudent();
    RawStudent(const RawStudent &) = delete;
    RawStudent &operator=(const RawStudent &) = delete;

    bool connected() const { return m_connected; }
    int handle() const { return m_handle; }
    int localPort() const;

    // Whatever has arrived so far, without waiting.
    QByteArray readAvailable();
    // True once the console has closed its end and every byte before that was read.
    bool sawEndOfStream();
    // Sends as much as the kernel takes now; the count taken, -1 on failure.
    qint64 sendSome(const char *data, qint64 size);
    // Closes with SO_LINGER 0, so the console gets a reset instead of an orderly close.
    void reset();

private:
    int m_handle = -1;
    bool m_connected = false;
    QByteArray m_unread;
};
