#include "agent/BurstLog.h"

#include <QtDebug>
#include <algorithm>

namespace {
constexpr qint64 kLongestBurstMs = 60 * 1000;
}

bool BurstLog::note(const QString &kind, qint64 bytes)
{
    if (!m_entries.isEmpty() && m_started.elapsed() >= kLongestBurstMs) {
        endBurst();
    }
    if (m_entries.isEmpty()) {
        m_started.start();
    }
    auto entry = std::find_if(m_entries.begin(), m_entries.end(),
                              [&](const Entry &e) { return e.kind == kind; });
    if (entry == m_entries.end()) {
        m_entries.append({kind, 1, bytes});
        return true;
    }
    ++entry->count;
    entry->bytes += bytes;
    return false;
}

qint64 BurstLog::endBurst()
{
    qint64 bytes = 0;
    for (const Entry &entry : std::as_const(m_entries)) {
        bytes += entry.bytes;
        if (entry.count > 1) {
            qInfo().noquote() << QStringLiteral("%1: %2 times in this burst (%3 bytes)")
                                     .arg(entry.kind)
                                     .arg(entry.count)
                                     .arg(entry.bytes);
        }
    }
    m_entries.clear();
    return bytes;
}
