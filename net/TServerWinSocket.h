#pragma once

#include <QList>
#include <QObject>
#include <functional>

#include "net/ESocketError.h"

class QSocketNotifier;
class TServerClientWinSocket;

// The listening socket of the command server and its connections in order of acceptance.
class TServerWinSocket : public QObject
{
    Q_OBJECT

public:
    using NotifyEvent = std::function<void(TServerWinSocket *Sender, TServerClientWinSocket *Socket)>;
    using ErrorEvent = std::function<void(TServerWinSocket *Sender, TServerClientWinSocket *Socket,
                                          TErrorEvent ErrorEvent, int &ErrorCode)>;

    explicit TServerWinSocket(QObject *parent = nullptr);
    // Destroys every connection without events, then closes the listening socket.
    ~TServerWinSocket() override;

    // Listens on every local IPv4 address, on the low 16 bits of port, queue 5.
    // Raises ESocketError ("Can't listen on an open socket", "Can't create new socket", or the
    // "Windows socket error" text naming "bind" or "listen").
    void Open(int port);
    // Destroys every connection without events, then stops listening; the server may reopen.
    // Not for a connection event's handler: the connections are destroyed at once.
    void Close();
    bool IsOpen() const { return m_handle >= 0; }
    // The port actually listened on (useful when 0 let the system choose); -1 when closed.
    int ListenPort() const;

    // Enumeration: read the count once, visit 0..count-1, act only on entries that are IsOpen.
    int ConnectionCount() const { return int(m_connections.size()); }
    TServerClientWinSocket *ConnectionAt(int index) const { return m_connections.at(index); }

    NotifyEvent OnClientConnect;
    NotifyEvent OnClientDisconnect;
    ErrorEvent OnClientError;

private:
    friend class TServerClientWinSocket;
    void onAcceptReady();
    void accept();
    void pauseAccepting(int code);
    void forget(TServerClientWinSocket *connection);

    int m_handle = -1;
    QSocketNotifier *m_acceptNotifier = nullptr;
    bool m_acceptStalled = false;
    QList<TServerClientWinSocket *> m_connections;
};
