#pragma once

#include "net/ChannelEnd.h"
#include "net/ESocketError.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <map>
#include <memory>

class TServerClientWinSocket;
class TServerWinSocket;

// The console's end of the trusted channel: TLS 1.3 on the agent port, behind a connection
// budget of its own, so that plaintext students and channel agents never crowd each other out.
// A connection becomes an agent with its first message, a hello, which must come soon and be
// small; one that does not (a handshake that never ends, a client that is not an agent, junk, a
// message over the bound) is closed, and its source logged once for that reason.
class ChannelServer : public QObject
{
    Q_OBJECT

public:
    // How long a connection may take for its handshake and hello together, unless changed.
    static constexpr int kGreetingMs = 10000;

    explicit ChannelServer(std::shared_ptr<TlsContext> context, QObject *parent = nullptr);
    ~ChannelServer() override;

    // Raises ESocketError as the command server does.
    void Open(int port);
    // Each agent's connection is closed (agentLeft for each), then the port.
    void Close();
    bool IsOpen() const;
    int ListenPort() const;
    TServerWinSocket *Socket() const { return m_server; }
    void setGreetingTime(int milliseconds) { m_greetingMs = milliseconds; }

    // Sends to the agent of this key; false when it has none open.
    bool send(quint64 key, const ChannelMessage &message)
    {
        return sendEncoded(key, message.encode());
    }
    bool sendEncoded(quint64 key, const QByteArray &message);
    // The agents (greeted connections), in order of arrival.
    QList<quint64> agents() const;
    void closeAgent(quint64 key);
    // The agent's address and port (host order); 0 when it has none.
    quint32 peerAddress(quint64 key) const;
    quint16 peerPort(quint64 key) const;

signals:
    // A connection said hello (its first message): from now on it is an agent.
    void agentGreeted(quint64 key, const ChannelMessage &hello);
    // An agent's later messages.
    void messageReceived(quint64 key, const ChannelMessage &message);
    void agentLeft(quint64 key);
    // What the teacher should know: the accept path's states, an agent refusing this console.
    void notice(const QString &text);

private:
    struct Link
    {
        QPointer<TServerClientWinSocket> socket;
        std::unique_ptr<ChannelEnd> end;
        qint64 arrivedMs = 0;
        bool greeted = false;
        // Closed here, its reason logged.
        bool dropped = false;
    };

    void connected(TServerClientWinSocket *socket);
    void disconnected(TServerClientWinSocket *socket);
    void bytesArrived(quint64 key, QByteArrayView bytes);
    bool deliver(quint64 key, const ChannelMessage &message);
    void flush(Link &link);
    // Closes the connection of key; reason is logged once for its source (true when now).
    bool drop(quint64 key, const QString &reason);
    void checkGreetings();
    bool logOnce(quint32 source, const QString &reason);
    Link *find(quint64 key);
    const Link *find(quint64 key) const;

    std::shared_ptr<TlsContext> m_context;
    TServerWinSocket *m_server;
    std::map<quint64, Link> m_links;
    QElapsedTimer m_clock;
    int m_greetingMs = kGreetingMs;
    QTimer m_greetings;
    QSet<QString> m_logged;
};
