#pragma once

#include "protocol/PieceDecoder.h"
#include "protocol/StreamDatagram.h"

#include <QByteArrayView>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <optional>
#include <vector>

// The teacher's screen as a viewer of the Velmora stream rebuilds it, in 32-bit pixels (the
// layout of QImage::Format_RGB32), from datagrams in any order, repeated or lost. Each block of
// kBand x kBand pixels remembers the frame its picture comes from: a piece is drawn only where
// it is newer, and the rolling sketch only where no current picture is shown (the cell changed
// since, as the versions tell, or nothing came yet), so a lost datagram costs the picture at
// most the sketch's detail until the piece comes again. Nothing a datagram declares makes it
// allocate more than maxPixels or decode more than its own place. A move redraws what was shown
// elsewhere, current only where all it moves was.
class StreamCanvas
{
public:
    // What a datagram changed: the area of the screen drawn, the pointer, the screen's size.
    struct Change
    {
        QRect area;
        bool pointer = false;
        bool resized = false;
    };

    explicit StreamCanvas(qsizetype maxPixels);

    // Takes one datagram a viewer admitted (see StreamDatagram::admits); nowMs is the viewer's
    // own steady clock.
    Change apply(QByteArrayView datagram, qint64 nowMs);

    int width() const { return m_width; }
    int height() const { return m_height; }
    const std::uint32_t *pixels() const { return m_pixels.data(); }
    // Whether the last datagram asked for a window rather than the whole screen.
    bool windowed() const { return m_windowed; }
    std::optional<QPoint> pointer() const { return m_pointer; }
    // Whether every block shows something, sharp or sketched.
    bool complete() const;
    // Whether every block shows its current picture, as far as the versions tell.
    bool sharp() const;

private:
    bool acceptFrame(const StreamDatagram &d, qint64 nowMs, Change &change);
    void resize(int width, int height);
    void forgetFrames();
    void applyVersions(const StreamDatagram &d);
    QRect applyPiece(const StreamDatagram &d);
    QRect applySketch(const StreamDatagram &d);
    QRect applyMove(const StreamDatagram &d);
    void moveRow(int targetY, const QRect &target, const QPoint &by, std::uint32_t frame);
    int blockIndex(int column, int row) const { return row * m_blockColumns + column; }
    int cellOfBlock(int column, int row) const;
    bool current(int block, int cell) const;
    void drawBlock(int column, int row, int left, int top, int scale);

    qsizetype m_maxPixels;
    int m_width = 0;
    int m_height = 0;
    int m_blockColumns = 0;
    int m_blockRows = 0;
    int m_cellColumns = 0;
    std::vector<std::uint32_t> m_pixels;
    // One row of a move's place, held while the row it lands on is written.
    std::vector<std::uint32_t> m_row;
    // What a move does to each block it touches, decided before it draws.
    std::vector<char> m_moveOutcome;
    // Per block: the frame of the piece shown, the frame of the sketch shown (0: none).
    std::vector<std::uint32_t> m_pieceFrame;
    std::vector<std::uint32_t> m_sketchFrame;
    // Per block: whether it shows its piece (or a move of pieces), not a sketch or a move of one.
    std::vector<char> m_showsPiece;
    // Per cell: the frame it last changed in, as the versions said.
    std::vector<std::uint32_t> m_versions;
    std::uint32_t m_newest = 0;
    qint64 m_lastAccepted = 0;
    qint64 m_lastResized = 0;
    std::uint32_t m_pointerFrame = 0;
    // The frame of the last move made.
    std::uint32_t m_moveFrame = 0;
    std::optional<QPoint> m_pointer;
    bool m_windowed = false;
    PieceDecoder m_decoder;
};
