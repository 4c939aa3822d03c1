#pragma once

#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

#include "net/TServerClientWinSocket.h"
#include "net/TServerWinSocket.h"

// A listening command server on a system-chosen port that writes down every event it raises,
// and every failure that reaches the error box, in order.
class ServerHarness
{
public:
    enum class Kind { Connect, Disconnect, Error };
    struct Event
    {
        Kind kind;
        TServerClientWinSocket *socket;
        bool openAtEvent;
        int countAtEvent;
        TErrorEvent error;
        int code;
    };

    explicit ServerHarness(ConnectionBudget::Bounds bounds = ConnectionBudget::kCommandServer);
    ~ServerHarness();

    TServerWinSocket &server() { return *m_server; }
    int port() const { return m_port; }
    // Destroys the server now, as the console does at its end.
    void destroyServer() { m_server.reset(); }

    // Plays the roster's error handler: close the connection, cancel the failure.
    void closeOnError() { m_closeOnError = true; }
    // Runs inside the matching handler, after the event is written down.
    std::function<void(TServerClientWinSocket *)> onConnect;
    std::function<void(TServerClientWinSocket *)> onDisconnect;

    const QList<Event> &events() const { return m_events; }
    int count(Kind kind) const;
    const QStringList &reports() const { return m_reports; }

private:
    std::unique_ptr<TServerWinSocket> m_server;
    int m_port = -1;
    bool m_closeOnError = false;
    QList<Event> m_events;
    QStringList m_reports;
};

namespace servertest {

// Pumps the event loop, deferred releases included, until the condition holds.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);
// Lets the event loop run for a while with nothing expected to happen.
void settle(int ms = 100);

} // namespace servertest
