#include "ServerHarness.h"

#include <QTest>

#include "system/Guard.h"

ServerHarness::ServerHarness(ConnectionBudget::Bounds bounds)
    : m_server(std::make_unique<TServerWinSocket>(bounds))
{
    guard::setReporter([this](const QString &message) { m_reports.append(message); });
    TServerWinSocket *server = m_server.get();
    QObject::connect(server, &TServerWinSocket::clientConnect,
                     [this, server](TServerClientWinSocket *socket) {
                         m_events.append({Kind::Connect, socket, socket->IsOpen(),
                                          server->ConnectionCount(), TErrorEvent::eeGeneral, 0});
                         if (onConnect)
                             onConnect(socket);
                     });
    QObject::connect(server, &TServerWinSocket::clientDisconnect,
                     [this, server](TServerClientWinSocket *socket) {
                         m_events.append({Kind::Disconnect, socket, socket->IsOpen(),
                                          server->ConnectionCount(), TErrorEvent::eeGeneral, 0});
                         if (onDisconnect)
                             onDisconnect(socket);
                     });
    QObject::connect(server, &TServerWinSocket::clientError,
                     [this, server](TServerClientWinSocket *socket, TErrorEvent error, int &code) {
                         m_events.append({Kind::Error, socket, socket->IsOpen(),
                                          server->ConnectionCount(), error, code});
                         if (m_closeOnError) {
                             socket->CloseConnection();
                             code = 0;
                         }
                     });
    m_server->Open(0);
    m_port = m_server->ListenPort();
}

ServerHarness::~ServerHarness()
{
    m_server.reset();
    guard::setReporter({});
}

int ServerHarness::count(Kind kind) const
{
    return int(std::count_if(m_events.begin(), m_events.end(),
                             [kind](const Event &event) { return event.kind == kind; }));
}

namespace servertest {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

void settle(int ms)
{
    QTest::qWait(ms);
}

} // namespace servertest
