#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>

#include "net/ConnectionBudget.h"
#include "net/ESocketError.h"
#include "net/TServerClientWinSocket.h"
#include "net/WaitingConnections.h"

class ConnectionTrouble;
class QSocketNotifier;
class QTimer;

// The listening socket of the command server and its connections in order of acceptance.
class TServerWinSocket : public QObject
{
    Q_OBJECT

public:
    explicit TServerWinSocket(QObject *parent = nullptr)
        : TServerWinSocket(ConnectionBudget::kCommandServer, parent)
    {
    }
    // A server of its own bounds: each server counts its connections apart.
    explicit TServerWinSocket(ConnectionBudget::Bounds bounds, QObject *parent = nullptr);
    // Destroys every connection without events, then closes the listening socket.
    ~TServerWinSocket() override;

    // Listens on every local IPv4 address, on the low 16 bits of port, with the system's
    // longest listen queue, so that a whole room connecting at once waits there.
    // Raises ESocketError ("Can't listen on an open socket", "Can't create new socket", or the
    // "Windows socket error" text naming "bind" or "listen").
    void Open(int port);
    // Destroys every connection without events, then stops listening; the server may reopen.
    // Not for a connection event's handler: the connections are destroyed at once.
    void Close();
    bool IsOpen() const { return m_handle >= 0; }
    // The port actually listened on (useful when 0 let the system choose); -1 when closed.
    int ListenPort() const;
    // The listen queue asked of the system at Open.
    static int listenQueue();
    // True while new connections are left waiting in the system's queue (no room or no
    // descriptor); they are taken as soon as room is made.
    bool AcceptPaused() const { return m_pause != Pause::None; }
    const ConnectionBudget &budget() const { return m_budget; }

    // Enumeration: read the count once, visit 0..count-1, act only on entries that are IsOpen.
    int ConnectionCount() const { return int(m_connections.size()); }
    TServerClientWinSocket *ConnectionAt(int index) const { return m_connections.at(index); }

signals:
    // The connection is accepted, the last of the list, open, and each property can be read; the
    // next connection's signal comes after this one's handlers have returned (OnClientConnect).
    void clientConnect(TServerClientWinSocket *socket);
    // The connection is closing and still open, in the list, its properties readable
    // (OnClientDisconnect).
    void clientDisconnect(TServerClientWinSocket *socket);
    // The connection failed in the operation event with the system's errorCode; a handler may
    // set errorCode to 0 to cancel the failure, else it is raised (OnClientError). A failure
    // inside WriteText comes once that call has returned. Handlers must be connected directly.
    void clientError(TServerClientWinSocket *socket, TErrorEvent event, int &errorCode);
    // A state of the accept path the teacher should know of (paused, resumed, a host refused);
    // once per change, never a modal box: it may come with no descriptor left.
    void acceptNotice(const QString &text);

private:
    friend class TServerClientWinSocket;
    enum class Pause { None, Full, NoDescriptor };

    void onAcceptReady();
    void acceptWaiting();
    // Whether room was made for this accepted connection; if not, it has been closed.
    bool admit(int handle, quint32 source, int capacity);
    void raiseConnects();
    bool connectionWaiting() const;
    // Closes the accepted connections that failed or were reset before their event.
    void dropDeadWaiting();
    void refuse(int handle, quint32 source);
    void evict(quint64 id);
    void pause(Pause reason);
    void resume();
    void notice(const QString &text, bool warning);
    // A connection's own reports: it sent bytes, it failed, it closed, it was destroyed.
    void heard(const TServerClientWinSocket *connection);
    void failed(const TServerClientWinSocket *connection);
    void released(const TServerClientWinSocket *connection);
    void forget(TServerClientWinSocket *connection);
    // Connections whose peer has gone are ended a batch per pass of the event loop.
    void endLater(TServerClientWinSocket *connection);
    void endGone();

    int m_handle = -1;
    QSocketNotifier *m_acceptNotifier = nullptr;
    QTimer *m_retryTimer;
    QTimer *m_waitingCheck;
    QTimer *m_goneTimer;
    QList<QPointer<TServerClientWinSocket>> m_gone;
    ConnectionTrouble *m_trouble;
    Pause m_pause = Pause::None;
    bool m_raising = false;
    ConnectionBudget m_budget;
    WaitingConnections m_waiting;
    QSet<quint32> m_refusedSources;
    QList<TServerClientWinSocket *> m_connections;
};
