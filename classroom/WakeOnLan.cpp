#include "classroom/WakeOnLan.h"

#include "classroom/RosterModel.h"
#include "identity/NeighbourTable.h"
#include "identity/NetworkInterfaces.h"
#include "net/TUDPEndpoint.h"
#include "system/EventLog.h"
#include "system/Guard.h"
#include "text/Cp936.h"

namespace {
// The neighbour entry is there once the connection is: a short wait gathers those that join
// together into one read of the table.
constexpr int kLookupDelayMs = 1000;
constexpr int kSaveDelayMs = 2000;
constexpr int kMacRepeats = 16;
constexpr int kAddressSubItem = RosterModel::AddressColumn - 1;
} // namespace

WakeOnLan::WakeOnLan(const RosterModel &roster, const QString &storePath, QObject *parent)
    : QObject(parent), m_roster(roster), m_known(storePath), m_endpoint(new TUDPEndpoint(this))
{
    m_endpoint->setRemotePort(kPort);
    m_lookup.setSingleShot(true);
    m_lookup.setInterval(kLookupDelayMs);
    connect(&m_lookup, &QTimer::timeout, this,
            [this] { guard::run([this] { lookUpNeighbours(); }); });
    m_save.setSingleShot(true);
    m_save.setInterval(kSaveDelayMs);
    connect(&m_save, &QTimer::timeout, this, &WakeOnLan::save);
}

WakeOnLan::~WakeOnLan()
{
    if (m_save.isActive())
        save();
}

QByteArray WakeOnLan::magicPacket(const QByteArray &mac)
{
    return QByteArray(6, char(0xFF)) + mac.repeated(kMacRepeats);
}

void WakeOnLan::studentJoined(quint64 key)
{
    m_connected.insert(key, QByteArray());
    m_pending.insert(key);
    if (!m_lookup.isActive())
        m_lookup.start();
}

void WakeOnLan::studentLeft(quint64 key)
{
    m_connected.remove(key);
    m_pending.remove(key);
}

void WakeOnLan::agentSeen(quint64 key, const QByteArray &mac, quint32, const QByteArray &)
{
    if (!KnownComputers::isComputerMac(mac) || !m_connected.contains(key))
        return;
    m_pending.remove(key);
    remember(key, mac);
}

void WakeOnLan::lookUpNeighbours()
{
    const QByteArray table = neighbours::table();
    for (const quint64 key : std::as_const(m_pending)) {
        const int row = m_roster.rowOfKey(key);
        if (row < 0)
            continue;
        const auto address =
            netif::parseDotted(QString::fromLatin1(m_roster.subItem(row, kAddressSubItem)));
        const QByteArray mac = address ? neighbours::macOf(*address, table) : QByteArray();
        if (!mac.isEmpty())
            remember(key, mac);
    }
    m_pending.clear();
}

void WakeOnLan::remember(quint64 key, const QByteArray &mac)
{
    m_connected.insert(key, mac);
    const int row = m_roster.rowOfKey(key);
    const QString address =
        row < 0 ? QString() : QString::fromLatin1(m_roster.subItem(row, kAddressSubItem));
    const QString name = row < 0 ? QString() : cp936::decode(m_roster.caption(row));
    if (m_known.remember(mac, address, name) && !m_save.isActive())
        m_save.start();
}

void WakeOnLan::save()
{
    m_save.stop();
    if (!m_known.save())
        eventlog::warning(QStringLiteral("cannot write the remembered student computers"));
}

int WakeOnLan::wakeAll(const QString &broadcastHost)
{
    if (broadcastHost.isEmpty())
        return 0;
    QSet<QByteArray> connected;
    for (const QByteArray &mac : std::as_const(m_connected))
        connected.insert(mac);
    m_endpoint->setRemoteHost(broadcastHost);
    int woken = 0;
    for (const KnownComputers::Computer &computer : m_known.computers()) {
        if (connected.contains(computer.mac))
            continue;
        const QByteArray packet = magicPacket(computer.mac);
        m_endpoint->SendDatagram(packet.constData(), int(packet.size()));
        ++woken;
    }
    eventlog::info(
        QStringLiteral("sent the wake-up packet of %1 remembered computers to %2 port %3")
            .arg(woken)
            .arg(broadcastHost)
            .arg(kPort));
    return woken;
}
