#include "classroom/DatagramTileFeed.h"

#include "classroom/RosterModel.h"
#include "classroom/ScreenRequests.h"

namespace {
constexpr int kAddressSubItem = RosterModel::AddressColumn - 1;
}

DatagramTileFeed::DatagramTileFeed(ScreenRequests &requests,
                                   std::function<bool(const QString &)> isOwnAddress,
                                   QObject *parent)
    : TileFeed(parent), m_requests(requests), m_isOwnAddress(std::move(isOwnAddress))
{
}

bool DatagramTileFeed::serves(quint64 key) const
{
    return m_requests.roster().rowOfKey(key) >= 0;
}

void DatagramTileFeed::start(quint64 key)
{
    const RosterModel &roster = m_requests.roster();
    const int row = roster.rowOfKey(key);
    if (row < 0 || m_addressOf.contains(key))
        return;
    const QString address = QString::fromLatin1(roster.subItem(row, kAddressSubItem));
    m_addressOf.insert(key, address);
    m_senders[address].keys.append(key);
    m_requests.ask(key, ScreenRequests::Wall);
}

void DatagramTileFeed::stop(quint64 key)
{
    const auto found = m_addressOf.find(key);
    if (found == m_addressOf.end())
        return;
    const auto sender = m_senders.find(*found);
    sender->keys.removeOne(key);
    if (sender->keys.isEmpty())
        m_senders.erase(sender);
    m_addressOf.erase(found);
    m_requests.release(key, ScreenRequests::Wall);
}

// A sender the wall does not show costs one look-up; a long or failed read ends its frame,
// which then cannot be whole and is dropped.
void DatagramTileFeed::datagramReceived(int numberBytes, const QString &fromIP, const char *bytes)
{
    const auto sender = m_senders.find(fromIP);
    if (sender == m_senders.end() || m_isOwnAddress(fromIP))
        return;
    if (numberBytes < 0) {
        sender->frames.reset();
        return;
    }
    const std::optional<QByteArray> file = sender->frames.add(QByteArrayView(bytes, numberBytes));
    if (!file)
        return;
    // Copied out first: a receiver may stop a student and so change the senders.
    const QList<quint64> keys = sender->keys;
    for (const quint64 key : keys)
        emit fileArrived(key, *file);
}

qsizetype DatagramTileFeed::pendingBytes() const
{
    qsizetype bytes = 0;
    for (const Sender &sender : m_senders)
        bytes += sender.frames.pendingSize();
    return bytes;
}
