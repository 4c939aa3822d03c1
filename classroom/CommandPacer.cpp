#include "classroom/CommandPacer.h"

#include "net/SocketQueue.h"
#include "net/TServerClientWinSocket.h"
#include "protocol/TextFraming.h"
#include "system/Guard.h"

namespace {
// How often held students are looked at: a tenth of the wait.
constexpr int kTickMs = framing::kConsoleWaitMs / 10;
} // namespace

CommandPacer::CommandPacer(QObject *parent) : QObject(parent)
{
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, [this] { guard::run([this] { tick(); }); });
}

void CommandPacer::write(TServerClientWinSocket *connection, const QByteArray &text)
{
    const quint64 id = connection->ConnectionId();
    if (const auto held = m_held.find(id); held != m_held.end()) {
        held->second.waiting.append(text);
        return;
    }
    if (framing::endsWhenQuiet(text)) {
        m_held[id].connection = connection;
        m_tick.start();
    }
    connection->WriteText(text);
}

void CommandPacer::writeHeldNow()
{
    std::map<quint64, Held> held;
    held.swap(m_held);
    m_tick.stop();
    for (auto &[id, each] : held) {
        for (const QByteArray &text : std::as_const(each.waiting)) {
            if (each.connection && each.connection->IsOpen())
                each.connection->WriteText(text);
        }
    }
}

// A student that is gone takes what waited for it along; one that never acknowledges is closed
// by its connection's own drain limit.
void CommandPacer::tick()
{
    for (auto it = m_held.begin(); it != m_held.end();) {
        Held &held = it->second;
        const TServerClientWinSocket *connection = held.connection;
        if (!connection || !connection->IsOpen()) {
            it = m_held.erase(it);
        } else if (!held.acknowledged.isValid()) {
            if (connection->QueuedBytes() == 0 &&
                socketqueue::unacknowledged(connection->SockHandle()) == 0)
                held.acknowledged.start();
            ++it;
        } else if (held.acknowledged.elapsed() < framing::kConsoleWaitMs) {
            ++it;
        } else {
            it = release(held) ? std::next(it) : m_held.erase(it);
        }
    }
    if (m_held.empty())
        m_tick.stop();
}

bool CommandPacer::release(Held &held)
{
    while (!held.waiting.isEmpty() && held.connection && held.connection->IsOpen()) {
        const QByteArray text = held.waiting.takeFirst();
        held.connection->WriteText(text);
        if (framing::endsWhenQuiet(text)) {
            held.acknowledged.invalidate();
            return true;
        }
    }
    return false;
}
