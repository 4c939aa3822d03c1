#pragma once

#include "classroom/KnownComputers.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

class RosterModel;
class TUDPEndpoint;

// Switches remembered student computers on. Every student's MAC address is remembered: a channel
// agent's from its hello, a plaintext student's from the kernel's neighbour table, looked up
// shortly after it joined (one read for all that joined together). wakeAll sends the magic
// packet of each remembered computer that is not connected now to the classroom's broadcast
// address, UDP port 9, where a network card that waits for it listens.
class WakeOnLan : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kPort = 9;

    // storePath: the file of remembered computers (none kept when empty).
    WakeOnLan(const RosterModel &roster, const QString &storePath, QObject *parent = nullptr);
    ~WakeOnLan() override;

    void studentJoined(quint64 key);
    void studentLeft(quint64 key);
    // A channel agent told its MAC (empty: it could not tell, the neighbour table is asked).
    void agentSeen(quint64 key, const QByteArray &mac, quint32 address, const QByteArray &name);
    // The packets are sent; how many computers were woken. None without a network.
    int wakeAll(const QString &broadcastHost);
    const KnownComputers &known() const { return m_known; }
    // Writes what changed now (the console closes); changes are otherwise written a little later.
    void save();

    // Six bytes of 0xFF, then the MAC sixteen times.
    static QByteArray magicPacket(const QByteArray &mac);

private:
    void lookUpNeighbours();
    void remember(quint64 key, const QByteArray &mac);

    const RosterModel &m_roster;
    KnownComputers m_known;
    QHash<quint64, QByteArray> m_connected;
    QSet<quint64> m_pending;
    QTimer m_lookup;
    QTimer m_save;
    TUDPEndpoint *m_endpoint;
};
