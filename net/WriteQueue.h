#pragma once

#include <QByteArray>

// Bytes a connection still owes its peer, in order. Sent bytes leave the front by moving a
// mark; the buffer is compacted only now and then, so draining a queue of several MiB in small
// pieces costs no more than sending it.
class WriteQueue
{
public:
    qsizetype size() const { return m_bytes.size() - m_head; }
    bool isEmpty() const { return size() == 0; }
    const char *front() const { return m_bytes.constData() + m_head; }

    void append(const char *data, qsizetype size) { m_bytes.append(data, size); }
    // The first count bytes have been sent.
    void drop(qsizetype count);
    void clear();

private:
    QByteArray m_bytes;
    qsizetype m_head = 0;
};
