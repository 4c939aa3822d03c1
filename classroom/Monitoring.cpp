#include "classroom/Monitoring.h"

#include "classroom/RosterModel.h"
#include "classroom/ScreenRequests.h"

namespace {
constexpr int kAddressSubItem = RosterModel::AddressColumn - 1;
}

Monitoring::Monitoring(ScreenRequests &requests, std::function<bool(const QString &)> isOwnAddress,
                       FrameDecoder::Executor decode, QObject *parent)
    : QObject(parent), m_requests(requests), m_isOwnAddress(std::move(isOwnAddress)),
      m_frames(std::move(decode))
{
    connect(&m_frames, &FrameDecoder::pictureChanged, this, &Monitoring::pictureChanged);
    connect(&roster(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { rowsLeaving(first, last); });
}

// Another student still sending after it was told to stop, another console's beacon, any host
// of the LAN: none of them may end or replace the monitored student's frame.
void Monitoring::datagramReceived(int numberBytes, const QString &fromIP, const char *bytes)
{
    if (!m_watching || fromIP != m_address)
        return;
    // The console's own cursor datagrams and beacons come back on this port.
    if (m_isOwnAddress(fromIP))
        return;
    if (numberBytes > 0) {
        if (m_stream.size() + numberBytes > kStreamLimit)
            m_stream.clear();
        m_stream.append(bytes, numberBytes);
    }
    if (!chunks::endsFrame(numberBytes))
        return;
    frameComplete();
}

// The frame's bytes go to the decoder whole; the next frame starts in a buffer of its own.
void Monitoring::frameComplete()
{
    emit fileArrived(m_stream);
    m_frames.submit(std::exchange(m_stream, QByteArray()));
}

void Monitoring::clearStream()
{
    m_stream.clear();
    m_frames.discard();
}

const RosterModel &Monitoring::roster() const
{
    return m_requests.roster();
}

int Monitoring::MonitorIndex() const
{
    return m_key == 0 ? -1 : roster().rowOfKey(m_key);
}

void Monitoring::monitorStudent(quint64 key)
{
    const RosterModel &roster = this->roster();
    const int row = roster.rowOfKey(key);
    m_key = row >= 0 ? key : 0;
    m_address = row >= 0 ? QString::fromLatin1(roster.subItem(row, kAddressSubItem)) : QString();
    m_watching = m_key != 0;
    m_frames.discard();
    if (row >= 0) {
        m_position = row;
        m_positionIsFree = false;
    }
}

int Monitoring::nextRow() const
{
    const int count = roster().rowCount();
    if (count == 0)
        return -1;
    const int current = MonitorIndex();
    int next = current >= 0 ? current + 1 : (m_positionIsFree ? m_position : m_position + 1);
    return next < count ? next : 0;
}

// The student's row is going: it is asked nothing more, none of its datagrams are taken, and the
// rotation goes on with the row that moves up into its place.
void Monitoring::rowsLeaving(int first, int last)
{
    const int row = MonitorIndex();
    if (row < first || row > last)
        return;
    m_key = 0;
    m_address.clear();
    m_watching = false;
    clearStream();
    m_position = first;
    m_positionIsFree = true;
}

void Monitoring::sendNotScreen()
{
    m_requests.release(m_key, ScreenRequests::Monitor);
}

void Monitoring::sendScreen()
{
    m_requests.ask(m_key, ScreenRequests::Monitor);
}

void Monitoring::switchTo(quint64 key)
{
    clearStream();
    sendNotScreen();
    monitorStudent(key);
    sendScreen();
}

void Monitoring::switchToNext()
{
    sendNotScreen();
    monitorStudent(roster().key(nextRow()));
    clearStream();
    sendScreen();
}

void Monitoring::endWatching()
{
    sendNotScreen();
    stopWatching();
}
