#include "net/ConnectionBudget.h"

#include <algorithm>
#include <sys/resource.h>

int ConnectionBudget::capacity()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kMostConnections;
    const rlim_t room = limit.rlim_cur > rlim_t(kHeadroom) ? limit.rlim_cur - kHeadroom : 0;
    return int(std::min<rlim_t>(room, kMostConnections));
}

void ConnectionBudget::add(quint32 source)
{
    ++m_perSource[source];
    ++m_total;
}

void ConnectionBudget::remove(quint32 source)
{
    const auto at = m_perSource.find(source);
    if (at == m_perSource.end())
        return;
    if (--at.value() <= 0)
        m_perSource.erase(at);
    --m_total;
}
