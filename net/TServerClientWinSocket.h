#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

#include "net/ESocketError.h"
#include "net/WriteQueue.h"

class QSocketNotifier;
class TServerWinSocket;

// What accept() told of a connection: its socket, the peer's address and port (host order),
// and the id the connection keeps for its whole life.
struct AcceptedConnection
{
    int handle;
    quint32 address;
    quint16 port;
    quint64 id;
};

// One accepted student connection: non-blocking, written to, never read for meaning.
class TServerClientWinSocket : public QObject
{
    Q_OBJECT

public:
    TServerClientWinSocket(const AcceptedConnection &accepted, TServerWinSocket *server);
    // A new connection id: never 0, never given twice in a run, rising in order of acceptance.
    static quint64 newId();
    // Closes the socket without any event and leaves the server's connection list.
    ~TServerClientWinSocket() override;

    bool IsOpen() const { return m_handle >= 0; }
    int SockHandle() const { return m_handle; }
    // A number that names this connection's notifications for as long as it lives.
    quintptr NotifyWindow() const;
    // Names this connection and no other for the whole run (never reused, never 0).
    quint64 ConnectionId() const { return m_id; }
    quint32 PeerIPv4() const { return m_peerAddress; }
    TServerWinSocket *Server() const { return m_server; }

    // The local properties are read from the system at every call. The peer's address and port
    // are the ones accept() gave: a peer that has already reset its end can no longer be asked,
    // and a connection's peer never changes. Empty (port 0) once closed.
    QString HostName() const;
    QString HostAddress() const;
    int HostPort() const;
    // Asks the name service now, on this thread: it may wait as long as the name server does.
    QByteArray PeerName() const;
    QString PeerAddress() const;
    int PeerPort() const;

    // Returns the bytes accepted (sent now or queued), 0 when not connected, -1 on failure. A
    // failure's error and disconnect come after the call has returned, through the event loop,
    // so no handler runs inside a send; until then the connection takes nothing more (-1).
    int WriteText(const QByteArray &text);
    // Raises clientDisconnect inside the call, while still open; releases later.
    void CloseConnection();

    // Bytes the peer sends go to reader instead of being discarded, and do not make the
    // connection talkative: a channel's peer speaks by design. The reader may close it.
    void setReader(std::function<void(QByteArrayView)> reader) { m_reader = std::move(reader); }

    int QueuedBytes() const { return int(m_queue.size()); }
    // How long queued bytes may wait without the student taking any before it is dropped
    // through the error handling (30 s unless changed).
    void setDrainTimeout(int milliseconds);

private:
    friend class TServerWinSocket;

    void onReadable();
    // The peer closed its end (code 0) or the connection failed: ended later, by the server.
    void peerGone(int code);
    void endGone();
    // The student sent bytes: said once to the server, which counts it as talkative.
    void heard();
    void onWritable();
    void close(int handle);
    void finishClose(int handle);
    int raiseError(TErrorEvent event, int code);
    void failReceive(int code);
    void failSend(int code);
    void failSendLater(int code);
    bool enqueue(const char *data, qsizetype size);

    TServerWinSocket *m_server;
    quint64 m_id;
    int m_handle;
    quint32 m_peerAddress;
    quint16 m_peerPort;
    bool m_closing = false;
    bool m_heard = false;
    bool m_sendFailed = false;
    int m_goneCode = 0;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    WriteQueue m_queue;
    std::function<void(QByteArrayView)> m_reader;
};
