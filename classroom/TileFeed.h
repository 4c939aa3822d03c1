#pragma once

#include <QByteArray>
#include <QObject>

// Where the screen wall's pictures of some students come from. The wall gives each student to
// the first feed that serves it, starts it while the wall is shown and the student connected,
// and decodes what it delivers: whole JPEG files, as often as they come (the wall decodes at
// most one a second). Students reached over the command port alone are one kind of feed
// (DatagramTileFeed); a feed for another kind of connection goes before it.
class TileFeed : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Whether this feed can bring the pictures of the student of this roster key.
    virtual bool serves(quint64 key) const = 0;
    virtual void start(quint64 key) = 0;
    // The wall was left, or the student's row is going.
    virtual void stop(quint64 key) = 0;
    // The size, in device pixels, a tile shows its picture at: a feed that can ask for pictures
    // of that size does.
    virtual void setTileSize(int /*width*/, int /*height*/) {}

signals:
    void fileArrived(quint64 key, const QByteArray &file);
};
