#include "net/WriteQueue.h"

void WriteQueue::drop(qsizetype count)
{
    m_head += count;
    if (m_head >= m_bytes.size()) {
        clear();
        return;
    }
    if (m_head > m_bytes.size() / 2) {
        m_bytes.remove(0, m_head);
        m_head = 0;
    }
}

void WriteQueue::clear()
{
    m_bytes.clear();
    m_bytes.squeeze();
    m_head = 0;
}
