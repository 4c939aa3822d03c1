#include "classroom/ScreenWall.h"

#include "classroom/RosterModel.h"
#include "classroom/TileFeed.h"

ScreenWall::ScreenWall(const RosterModel &roster, DecodeRunner::Executor decode, QObject *parent)
    : QObject(parent), m_roster(roster), m_pictures(std::move(decode))
{
    connect(&m_pictures, &TilePictures::pictureDecoded, this, &ScreenWall::pictureChanged);
    connect(&roster, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) {
                for (int row = first; row <= last && m_shown; ++row)
                    feed(m_roster.key(row));
            });
    connect(&roster, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                for (int row = first; row <= last; ++row)
                    unfeed(m_roster.key(row));
            });
}

void ScreenWall::addFeed(TileFeed *feed)
{
    m_feeds.append(feed);
    // A file is taken only from a student the wall still gives to that feed.
    connect(feed, &TileFeed::fileArrived, this, [this, feed](quint64 key, const QByteArray &file) {
        if (m_fedBy.value(key) == feed)
            m_pictures.offer(key, file);
    });
}

void ScreenWall::show()
{
    if (m_shown)
        return;
    m_shown = true;
    for (int row = 0; row < m_roster.rowCount(); ++row)
        feed(m_roster.key(row));
    m_pictures.start();
}

// Nothing stays for a later showing: its tiles start from fresh pictures.
void ScreenWall::hide()
{
    if (!m_shown)
        return;
    m_shown = false;
    m_pictures.stop();
    for (int row = 0; row < m_roster.rowCount(); ++row)
        unfeed(m_roster.key(row));
    m_pictures.forgetAll();
}

void ScreenWall::setTileSize(int width, int height)
{
    m_pictures.setTileSize(width, height);
    for (TileFeed *feed : std::as_const(m_feeds))
        feed->setTileSize(width, height);
}

void ScreenWall::feed(quint64 key)
{
    if (m_fedBy.contains(key))
        return;
    for (TileFeed *feed : std::as_const(m_feeds)) {
        if (feed->serves(key)) {
            m_fedBy.insert(key, feed);
            feed->start(key);
            return;
        }
    }
}

void ScreenWall::unfeed(quint64 key)
{
    TileFeed *feed = m_fedBy.take(key);
    if (feed)
        feed->stop(key);
    m_pictures.forget(key);
}
