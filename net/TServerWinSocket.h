#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <functional>

#include "net/ConnectionBudget.h"
#include "net/ESocketError.h"

class QSocketNotifier;
class QTimer;
class TServerClientWinSocket;

// The listening socket of the command server and its connections in order of acceptance.
class TServerWinSocket : public QObject
{
    Q_OBJECT

public:
    using NotifyEvent =
        std::function<void(TServerWinSocket *Sender, TServerClientWinSocket *Socket)>;
    using ErrorEvent = std::function<void(TServerWinSocket *Sender, TServerClientWinSocket *Socket,
                                          TErrorEvent ErrorEvent, int &ErrorCode)>;
    using NoticeEvent = std::function<void(TServerWinSocket *Sender, const QString &Text)>;

    explicit TServerWinSocket(QObject *parent = nullptr);
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

    // Enumeration: read the count once, visit 0..count-1, act only on entries that are IsOpen.
    int ConnectionCount() const { return int(m_connections.size()); }
    TServerClientWinSocket *ConnectionAt(int index) const { return m_connections.at(index); }

    NotifyEvent OnClientConnect;
    NotifyEvent OnClientDisconnect;
    ErrorEvent OnClientError;
    // A state of the accept path the teacher should know of (paused, resumed, a host refused);
    // raised once per change, never a modal box: it may be raised with no descriptor left.
    NoticeEvent OnAcceptNotice;

private:
    friend class TServerClientWinSocket;
    enum class Pause { None, Full, NoDescriptor };
    struct Waiting
    {
        int handle;
        quint32 source;
    };

    void onAcceptReady();
    void acceptWaiting();
    void raiseConnects();
    bool connectionWaiting() const;
    void refuse(int handle, quint32 source);
    void pause(Pause reason);
    void resume();
    void notice(const QString &text, bool warning);
    void forget(TServerClientWinSocket *connection);

    int m_handle = -1;
    QSocketNotifier *m_acceptNotifier = nullptr;
    QTimer *m_retryTimer;
    Pause m_pause = Pause::None;
    bool m_raising = false;
    ConnectionBudget m_budget;
    QList<Waiting> m_waiting;
    QHash<const TServerClientWinSocket *, quint32> m_sources;
    QSet<quint32> m_refusedSources;
    QList<TServerClientWinSocket *> m_connections;
};
