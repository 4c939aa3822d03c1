#pragma once

#include <QHash>
#include <QList>
#include <QObject>

#include "classroom/TilePictures.h"

class RosterModel;
class TileFeed;

// The screen wall without its window: while it is shown, every student of the roster is fed to
// it, from the showing or its arrival to the leaving or its departure, by the first feed that
// serves it; the pictures come out decoded at the tile's size, at most once a second each. It
// is a view, not a mode: the demonstration, the black-out and monitoring go on beside it.
class ScreenWall : public QObject
{
    Q_OBJECT

public:
    explicit ScreenWall(const RosterModel &roster, DecodeRunner::Executor decode = {},
                        QObject *parent = nullptr);

    // Feeds are asked in the order they were added.
    void addFeed(TileFeed *feed);
    void show();
    void hide();
    // In device pixels.
    void setTileSize(int width, int height);
    TilePictures &pictures() { return m_pictures; }

signals:
    // A new picture for the tile of the student of this key; valid during the signal.
    void pictureChanged(quint64 key, const JpegDecoder::Image &picture);

private:
    void feed(quint64 key);
    void unfeed(quint64 key);

    const RosterModel &m_roster;
    QList<TileFeed *> m_feeds;
    QHash<quint64, TileFeed *> m_fedBy;
    bool m_shown = false;
    TilePictures m_pictures;
};
