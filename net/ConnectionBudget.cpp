#include "net/ConnectionBudget.h"

#include <algorithm>
#include <sys/resource.h>

int ConnectionBudget::capacity() const
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return m_bounds.total;
    const rlim_t room = limit.rlim_cur > rlim_t(kHeadroom) ? limit.rlim_cur - kHeadroom : 0;
    return int(std::min<rlim_t>(room, rlim_t(m_bounds.total)));
}

int ConnectionBudget::count(quint32 source) const
{
    const auto at = m_bySource.constFind(source);
    return at == m_bySource.constEnd() ? 0 : int(at->size());
}

// Sources are few enough (the total at most) for a scan; it runs only while the budget is full.
quint64 ConnectionBudget::victim() const
{
    const QList<quint64> *most = nullptr;
    for (const QList<quint64> &ids : m_bySource) {
        if (!most || ids.size() > most->size())
            most = &ids;
    }
    if (most && most->size() > 1)
        return most->constLast();
    return m_talkative.isEmpty() ? 0 : *m_talkative.constBegin();
}

void ConnectionBudget::add(quint32 source, quint64 id)
{
    m_held.insert(id, {source, false});
    m_bySource[source].append(id);
}

void ConnectionBudget::remove(quint64 id)
{
    const auto at = m_held.constFind(id);
    if (at == m_held.constEnd())
        return;
    const auto ids = m_bySource.find(at->source);
    ids->removeOne(id);
    if (ids->isEmpty())
        m_bySource.erase(ids);
    m_talkative.remove(id);
    m_held.erase(at);
}

void ConnectionBudget::markTalkative(quint64 id)
{
    const auto at = m_held.find(id);
    if (at == m_held.end() || at->talkative)
        return;
    at->talkative = true;
    m_talkative.insert(id);
}
