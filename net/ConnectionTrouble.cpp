#include "net/ConnectionTrouble.h"

#include <QTimer>

namespace {
// A burst ends once this long passes without trouble; one that goes on is written this often.
constexpr int kQuietMs = 2000;
constexpr qint64 kLongestBurstMs = 60 * 1000;
const char kLine[] = "学生连接异常：%1 个出错或被对方重置，%2 个被拒绝，%3 个为新学生让位（来自 %4 "
                     "个地址）";
} // namespace

ConnectionTrouble::ConnectionTrouble(std::function<void(const QString &)> report, QObject *parent)
    : QObject(parent), m_report(std::move(report)), m_quiet(new QTimer(this))
{
    m_quiet->setSingleShot(true);
    m_quiet->setInterval(kQuietMs);
    connect(m_quiet, &QTimer::timeout, this, &ConnectionTrouble::flush);
}

void ConnectionTrouble::failed(quint32 source)
{
    note(source, m_failed);
}

void ConnectionTrouble::refused(quint32 source)
{
    note(source, m_refused);
}

void ConnectionTrouble::evicted(quint32 source)
{
    note(source, m_evicted);
}

void ConnectionTrouble::note(quint32 source, int &counter)
{
    if (m_sources.isEmpty())
        m_since.start();
    ++counter;
    m_sources.insert(source);
    if (m_since.elapsed() >= kLongestBurstMs)
        flush();
    else
        m_quiet->start();
}

void ConnectionTrouble::flush()
{
    m_quiet->stop();
    if (m_sources.isEmpty())
        return;
    const QString line =
        QString::fromUtf8(kLine).arg(m_failed).arg(m_refused).arg(m_evicted).arg(m_sources.size());
    m_failed = m_refused = m_evicted = 0;
    m_sources.clear();
    m_report(line);
}
