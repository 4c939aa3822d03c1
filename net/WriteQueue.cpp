#include "net/WriteQueue.h"

WriteQueue::WriteQueue(int drainTimeoutMs, std::function<void()> stalled)
{
    m_clock.setSingleShot(true);
    m_clock.setInterval(drainTimeoutMs);
    QObject::connect(&m_clock, &QTimer::timeout, &m_clock, std::move(stalled));
}

void WriteQueue::append(const char *data, qsizetype size)
{
    if (isEmpty())
        m_clock.start();
    m_bytes.append(data, size);
}

void WriteQueue::drop(qsizetype count)
{
    if (count <= 0)
        return;
    m_head += count;
    if (m_head >= m_bytes.size()) {
        clear();
        return;
    }
    if (m_head > m_bytes.size() / 2) {
        m_bytes.remove(0, m_head);
        m_head = 0;
    }
    m_clock.start();
}

void WriteQueue::clear()
{
    m_bytes.clear();
    m_bytes.squeeze();
    m_head = 0;
    m_clock.stop();
}
