#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTimer>

#include "classroom/DecodeRunner.h"
#include "protocol/JpegDecoder.h"

// The screen wall's pictures: each student's newest JPEG file is decoded at the tile's size,
// away from the window's thread, at most once a second whatever the student sends. A file equal
// to the last one tried is not decoded again, so a tile that did not change is not painted
// again; a file that does not decode whole is not shown, and the tile keeps its last picture.
class TilePictures : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 1000;

    explicit TilePictures(DecodeRunner::Executor executor = {}, QObject *parent = nullptr);

    // The student's newest whole file; it takes the place of one still waiting.
    void offer(quint64 key, QByteArray file);
    // The student's tile is gone: its waiting file goes, and a picture on its way is not shown.
    void forget(quint64 key);
    void forgetAll();
    // The size a tile shows its picture at, in device pixels; the next files are decoded no
    // smaller, and decoded again even where they did not change.
    void setTileSize(int width, int height);
    // Decodes once a second from start() to stop().
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    // The timer's tick: a decode for every student with a file come since its last one and no
    // decode still running.
    void decodeWaiting();
    // Bytes of files that wait for a decode, all students together.
    qsizetype waitingBytes() const;

signals:
    // A new picture for the student's tile; valid during the signal.
    void pictureDecoded(quint64 key, const JpegDecoder::Image &picture);

private:
    struct Tile
    {
        QByteArray waiting;
        // Which tile this is: one forgotten and asked for again is another.
        quint64 generation = 0;
        bool busy = false;
        bool tried = false;
        std::size_t lastTried = 0;
    };
    struct Outcome
    {
        std::size_t hash = 0;
        // The tile size it was decoded for.
        int width = 0;
        int height = 0;
        bool shown = false;
        JpegDecoder::Image picture;
    };

    void startDecode(quint64 key, Tile &tile);
    void finished(quint64 key, quint64 generation, const Outcome &outcome);

    QHash<quint64, Tile> m_tiles;
    quint64 m_generations = 0;
    int m_width = 0;
    int m_height = 0;
    QTimer m_timer;
    DecodeRunner m_runner;
};
