#include "net/NameLookups.h"

#include <QCoreApplication>
#include <QThreadPool>

#include "net/ReverseLookup.h"
#include "system/Guard.h"

namespace {
// Questions to a name server that does not answer each hold a thread for its whole (bounded)
// wait; this many let the other names through meanwhile.
constexpr int kLookupThreads = 16;
// A lookup waits on the name server, not on a deep stack.
constexpr uint kStackBytes = 512 * 1024;
// A lookup thread keeps the name servers it first read (ReverseLookup): idle this long, it ends.
constexpr int kThreadIdleMs = 10 * 1000;
// A name is asked again after this long; an address without one sooner, as its name may be
// added or the name server come back.
constexpr qint64 kNameKeptMs = 10 * 60 * 1000;
constexpr qint64 kNoNameKeptMs = 60 * 1000;
// More addresses than a school has: past it, answers nobody waits for are forgotten.
constexpr qsizetype kMostEntries = 8192;
} // namespace

// Never released: a lookup still waiting on the name server must not hold up the program's
// end, which a pool destroyed at exit would wait for.
NameLookups &NameLookups::instance()
{
    static NameLookups *const lookups = new NameLookups;
    return *lookups;
}

NameLookups::NameLookups() : m_pool(new QThreadPool(this))
{
    m_pool->setMaxThreadCount(kLookupThreads);
    m_pool->setStackSize(kStackBytes);
    m_pool->setExpiryTimeout(kThreadIdleMs);
    m_clock.start();
}

quint64 NameLookups::request(quint32 address, const QObject *context, Done done)
{
    Entry &entry = m_entries[address];
    if (entry.known && entry.expiresMs > m_clock.elapsed()) {
        // A copy: done may ask again, and the table may move meanwhile.
        const QByteArray name = entry.name;
        guard::run([&] { done(name); });
        return 0;
    }
    const quint64 ticket = ++m_lastTicket;
    entry.waiters.append({ticket, context, std::move(done)});
    m_tickets.insert(ticket, address);
    if (!entry.asking && entry.waiters.size() == 1)
        m_queue.append(address);
    askNext();
    return ticket;
}

void NameLookups::cancel(quint64 ticket)
{
    const auto at = m_tickets.constFind(ticket);
    if (at == m_tickets.constEnd())
        return;
    const quint32 address = at.value();
    m_tickets.erase(at);
    const auto entry = m_entries.find(address);
    if (entry == m_entries.end())
        return;
    entry->waiters.removeIf([ticket](const Waiter &waiter) { return waiter.ticket == ticket; });
    if (entry->waiters.isEmpty() && !entry->asking) {
        m_queue.removeOne(address);
        if (!entry->known)
            m_entries.erase(entry);
    }
}

void NameLookups::forgetNames()
{
    ++m_generation;
    for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry)
        entry->known = false;
}

// A question whose askers have all gone (their connections closed) is dropped unasked.
bool NameLookups::stillWanted(Entry &entry)
{
    entry.waiters.removeIf([this](const Waiter &waiter) {
        if (waiter.context)
            return false;
        m_tickets.remove(waiter.ticket);
        return true;
    });
    return !entry.waiters.isEmpty();
}

void NameLookups::askNext()
{
    while (m_asking < kLookupThreads && !m_queue.isEmpty()) {
        const quint32 address = m_queue.takeLast();
        Entry &entry = m_entries[address];
        if (!stillWanted(entry)) {
            if (!entry.known)
                m_entries.remove(address);
            continue;
        }
        entry.asking = true;
        ++m_asking;
        const quint64 generation = m_generation;
        m_pool->start([this, address, generation] {
            const QByteArray name = reverse_lookup::nameOf(address);
            QMetaObject::invokeMethod(
                this, [this, address, name, generation] { answered(address, name, generation); },
                Qt::QueuedConnection);
        });
    }
}

void NameLookups::answered(quint32 address, const QByteArray &name, quint64 generation)
{
    --m_asking;
    Entry &entry = m_entries[address];
    entry.asking = false;
    // An answer of a lookup since replaced is handed to those waiting, never kept.
    if (generation == m_generation) {
        entry.known = true;
        entry.name = name;
        entry.expiresMs = m_clock.elapsed() + (name.isEmpty() ? kNoNameKeptMs : kNameKeptMs);
    }
    const QList<Waiter> waiters = std::exchange(entry.waiters, {});
    for (const Waiter &waiter : waiters) {
        m_tickets.remove(waiter.ticket);
        if (waiter.context)
            guard::run([&] { waiter.done(name); });
    }
    trim();
    askNext();
}

void NameLookups::trim()
{
    if (m_entries.size() <= kMostEntries)
        return;
    m_entries.removeIf([](const QHash<quint32, Entry>::iterator &entry) {
        return !entry->asking && entry->waiters.isEmpty();
    });
}

bool NameLookups::waitForIdle(int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (m_asking > 0 || !m_queue.isEmpty()) {
        const qint64 left = timeoutMs - waited.elapsed();
        if (left <= 0)
            return false;
        m_pool->waitForDone(int(left));
        QCoreApplication::sendPostedEvents(this);
    }
    return true;
}
