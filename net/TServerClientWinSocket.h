#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "net/ESocketError.h"
#include "net/WriteQueue.h"

class QSocketNotifier;
class TServerWinSocket;

// One accepted student connection: non-blocking, written to, never read for meaning.
class TServerClientWinSocket : public QObject
{
    Q_OBJECT

public:
    TServerClientWinSocket(int handle, TServerWinSocket *server);
    // Closes the socket without any event and leaves the server's connection list.
    ~TServerClientWinSocket() override;

    bool IsOpen() const { return m_handle >= 0; }
    int SockHandle() const { return m_handle; }
    // A number that names this connection's notifications for as long as it lives.
    quintptr NotifyWindow() const;
    // Names this connection and no other for the whole run (never reused, never 0).
    quint64 ConnectionId() const { return m_id; }
    TServerWinSocket *Server() const { return m_server; }

    // Each property is read from the system at every call.
    QString HostName() const;
    QString HostAddress() const;
    int HostPort() const;
    // Raises ESocketError naming "getpeername" when the peer's address cannot be read.
    QByteArray PeerName() const;
    QString PeerAddress() const;
    int PeerPort() const;

    // Returns the bytes accepted (sent now or queued), 0 when not connected, -1 on failure.
    int WriteText(const QByteArray &text);
    // Raises OnClientDisconnect inside the call, while still open; releases later.
    void CloseConnection();

    int QueuedBytes() const { return int(m_queue.size()); }
    // How long queued bytes may wait without the student taking any before it is dropped
    // through the error handling (30 s unless changed).
    void setDrainTimeout(int milliseconds);

private:
    void onReadable();
    void onWritable();
    void close(int handle);
    void finishClose(int handle);
    int raiseError(TErrorEvent event, int code);
    void failReceive(int code);
    void failSend(int code);
    bool enqueue(const char *data, qsizetype size);
    // False when not connected; raises ESocketError naming "getpeername" when unreadable.
    bool readPeer(quint32 &address, int &port) const;

    TServerWinSocket *m_server;
    quint64 m_id;
    int m_handle;
    bool m_closing = false;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    WriteQueue m_queue;
};
