#pragma once

#include "classroom/ScreenChanges.h"
#include "classroom/StreamOutbox.h"
#include "classroom/StreamSketch.h"
#include "protocol/PieceEncoder.h"
#include "protocol/StreamDatagram.h"
#include "protocol/StreamKey.h"

#include <QPoint>
#include <cstdint>
#include <functional>
#include <vector>

// Decides what the Velmora stream sends, and when, with no clock or socket of its own: the
// caller hands it pictures of the screen, the pointer and the time, and sends its outbox at the
// stream's pace.
//
// - The cells that changed since the last picture go out at once, at a quality that gives way
//   when a frame would take more than a tenth of a second of the budget; where a page scrolled,
//   the viewers are told to move what they show, and only what that leaves wrong is coded.
// - Once a second, the versions of every cell and a sketch of the whole screen (a quarter or
//   less of its size, small enough to stay within the refresh's few kilobytes): a viewer that
//   joined late, or lost datagrams, has the whole picture within a second.
// - A cell that stopped changing is sent once more, at the teacher's quality, a moment later;
//   and a slow round sends every cell again in turn, so a viewer's sketch becomes sharp.
class StreamPlanner
{
public:
    // Bytes a second on the wire, its headers counted: with the older stream's chunks and
    // pointers beside it (about 215 KB a second) and the sender's burst after a quiet moment,
    // the classroom's network carries no more than 4 MB in any second.
    static constexpr qint64 kBudget = 3'700'000;
    // Ethernet, IP and UDP headers of every datagram.
    static constexpr int kWireOverhead = 42;
    static constexpr int kFrameMs = 33;

    explicit StreamPlanner(qint64 startMs);

    // The teacher's quality setting (server.ini's ImageSpeed).
    void setQuality(std::int32_t setting);
    void setWindowed(bool windowed) { m_flags = windowed ? StreamDatagram::kWindowed : 0; }
    void setKey(const StreamKey &key) { m_key = key; }

    // A BGRX picture of the screen taken at nowMs, with the places that may have changed since
    // the last one where they are known. Raises AppError when the encoder fails.
    void picture(const std::uint8_t *bgrx, int width, int height, int stride, qint64 nowMs,
                 const std::vector<QRect> *drawn = nullptr);
    // The pointer in the screen's pixels; sent when it moved, and now and then when it did not.
    void pointer(QPoint position, qint64 nowMs);
    // Whatever else is due by nowMs: the refresh, cells that settled, the round.
    void tick(qint64 nowMs);

    // The last picture and which of its cells changed.
    const ScreenChanges &screen() const { return m_screen; }
    StreamOutbox &outbox() { return m_outbox; }
    int quality() const { return m_quality; }
    std::uint32_t frame() const { return m_frame; }

private:
    struct Cell
    {
        std::uint32_t changed = 0;
        std::uint32_t sent = 0;
        int sentQuality = 0;
        qint64 changedAtMs = 0;
        bool settling = false;
    };

    void advance(qint64 nowMs, bool newPicture);
    // A row's run of cells coded over some of their bands only.
    struct BandRun
    {
        int row;
        int first;
        int count;
        int firstBand;
        int bands;
    };
    void sendMove(const ScreenChanges::Move &move);
    StreamDatagram datagram(StreamDatagram::Kind kind) const;
    void push(const StreamDatagram &d);
    // Sends the cells chosen, in runs; returns the bytes queued.
    qint64 sendCells(const std::function<bool(int)> &chosen, int quality);
    // Cells [first, first + count) of the pixel rows [top, top + height), coded together.
    void sendBlock(int top, int height, int first, int count, int quality);
    void planBands(const QRect &movedCells);
    void sendVersions();
    void sendSketch();
    void settle(qint64 nowMs);
    void round(qint64 nowMs);
    void adaptQuality(qint64 pictureBytes);

    StreamKey m_key;
    quint8 m_flags = 0;
    int m_setting = 50;
    int m_quality = 50;
    // The frame of the sketch last made.
    std::uint32_t m_sketchedFrame = 0;
    qint64 m_startMs;
    qint64 m_nextRefreshMs;
    qint64 m_lastTickMs;
    qint64 m_roundAllowance = 0;
    qint64 m_lastRoundMs = 0;
    // What a cell of the round took last time, to guess how many the allowance pays for.
    qint64 m_roundCellBytes = 1000;
    std::vector<int> m_roundOrder;
    std::vector<char> m_roundChosen;
    qint64 m_lastPointerMs = 0;
    std::uint32_t m_frame = 0;
    std::uint32_t m_captureMs = 0;
    QPoint m_pointer{-1, -1};
    ScreenChanges m_screen;
    std::vector<Cell> m_cells;
    // Per cell, the bands this picture's pieces redraw.
    std::vector<std::uint8_t> m_codedBands;
    std::vector<BandRun> m_bandRuns;
    StreamSketch m_sketch;
    PieceEncoder m_encoder;
    std::vector<PieceEncoder::Piece> m_pieces;
    StreamOutbox m_outbox;
};
