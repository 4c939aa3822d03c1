#pragma once

#include "net/ChannelEnd.h"

#include <QObject>
#include <memory>

class QTcpSocket;

// An agent's end of the trusted channel over a TCP connection its owner holds: once the
// connection is up, the handshake runs, the console is trusted only when check accepts its key,
// and messages go both ways. The owner ends the connection when failed() comes.
class ChannelClient : public QObject
{
    Q_OBJECT

public:
    ChannelClient(QTcpSocket &socket, ChannelEnd::KeyCheck check, QObject *parent = nullptr);
    ~ChannelClient() override;

    // The connection is up: the handshake starts.
    void start();
    // Reads what the connection holds (its readyRead, and once more when it ends).
    void readAvailable();
    // Nothing goes before established().
    void send(const ChannelMessage &message);
    bool isOpen() const { return m_end && m_end->isOpen(); }
    // The console's key as seen in the last handshake; empty before one.
    QString fingerprint() const { return m_end ? m_end->peerFingerprint() : QString(); }

signals:
    // The console's key is trusted and the channel is open.
    void established();
    void messageReceived(const ChannelMessage &message);
    // The channel cannot go on: a refused key (keyRefused), a broken handshake, junk. What this
    // end had to say (a refusal's alert) is already handed to the system, so the owner may
    // abort the connection at once.
    void failed(const QString &reason, bool keyRefused);

private:
    void flush();

    QTcpSocket &m_socket;
    ChannelEnd::KeyCheck m_check;
    std::shared_ptr<TlsContext> m_context;
    std::unique_ptr<ChannelEnd> m_end;
};
