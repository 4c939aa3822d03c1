#pragma once

#include "net/ChannelClient.h"
#include "protocol/StreamKey.h"
#include "protocol/StudentCommand.h"

#include <QObject>
#include <QSize>
#include <QString>

class QTcpSocket;

// A simulated student's end of the trusted channel over its connection: it trusts only the
// console whose key has the fingerprint given, says hello with the user and MAC it claims, takes
// each command message whole (no quiet gap), keeps the demonstration's key and hears the screen
// wall's requests.
class SimulatedChannel : public QObject
{
    Q_OBJECT

public:
    SimulatedChannel(QTcpSocket &socket, const QString &fingerprint, QObject *parent = nullptr);

    void setClaims(const QString &host, const QString &user, const QByteArray &mac, QSize screen);
    QString user() const { return m_user; }
    QByteArray mac() const { return m_mac; }
    QString fingerprint() const { return m_client.fingerprint(); }
    // The MAC a simulated student claims by default: locally administered, from its address.
    static QByteArray macFor(quint32 address);

    void start() { m_client.start(); }
    void readAvailable() { m_client.readAvailable(); }
    bool isOpen() const { return m_client.isOpen(); }
    void answer(quint32 id, bool refused, const QString &reason);
    // Any message, as an agent that is not ours might send it.
    void say(const ChannelMessage &message) { m_client.send(message); }
    void sendTile(const QByteArray &jpeg);
    // The current demonstration's key (invalid outside one).
    const StreamKey &demonstrationKey() const { return m_key; }
    void clearDemonstrationKey() { m_key = StreamKey(); }

signals:
    void established();
    // One command of a command message, with the message's id.
    void command(const StudentCommand &command, quint32 id);
    void keyReceived(const StreamKey &key);
    // The wall's tile size the console asks for; empty when it wants no more tiles.
    void wallAsked(QSize tile);
    void failed(const QString &reason);

private:
    void received(const ChannelMessage &message);

    ChannelClient m_client;
    QString m_fingerprint;
    QString m_host;
    QString m_user;
    QByteArray m_mac;
    QSize m_screen;
    StreamKey m_key;
};
