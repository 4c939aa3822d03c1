#pragma once

#include <QByteArray>
#include <QTimer>
#include <functional>

// Bytes a connection still owes its peer, in order, and how long they have waited. Sent bytes
// leave the front by moving a mark; the buffer is compacted only now and then, so draining a
// queue of several MiB in small pieces costs no more than sending it.
class WriteQueue
{
public:
    // stalled runs when queued bytes have waited the drain time with none of them taken.
    WriteQueue(int drainTimeoutMs, std::function<void()> stalled);

    qsizetype size() const { return m_bytes.size() - m_head; }
    bool isEmpty() const { return size() == 0; }
    const char *front() const { return m_bytes.constData() + m_head; }

    // Bytes joining an empty queue start the clock.
    void append(const char *data, qsizetype size);
    // The first count bytes have been sent: progress, so the clock starts again.
    void drop(qsizetype count);
    void clear();
    void setDrainTimeout(int milliseconds) { m_clock.setInterval(milliseconds); }

private:
    QByteArray m_bytes;
    qsizetype m_head = 0;
    QTimer m_clock;
};
