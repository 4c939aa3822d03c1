#include "protocol/StreamCanvas.h"

#include <QtEndian>
#include <algorithm>

namespace {

constexpr int kBlock = StreamDatagram::kBand;
constexpr int kBlocksPerCell = StreamDatagram::kCell / kBlock;
// The sender counts 30 frames a second. A datagram more than 3 s late, or 30 s ahead of the
// newest, is not of this stream.
constexpr qint64 kPastFrames = 90;
constexpr qint64 kFutureFrames = 900;
// A stream quiet for this long may be replaced by another (a console that counts again).
constexpr qint64 kQuietMs = 3000;
// The screen's size changes at most this often, whatever datagrams claim.
constexpr qint64 kResizeGapMs = 1000;
constexpr std::uint32_t kOpaqueBlack = 0xff000000u;
// What a move did to a block.
constexpr char kCurrent = 1;
constexpr char kWritten = 2;

std::uint32_t pixelAt(const JpegDecoder::Image &image, int x, int y)
{
    const std::uint8_t *rgb = image.rgb.data() + (std::size_t(y) * image.width + x) * 3;
    return kOpaqueBlack | std::uint32_t(rgb[0]) << 16 | std::uint32_t(rgb[1]) << 8 | rgb[2];
}

int blocksOver(int start, int length)
{
    return (start + length + kBlock - 1) / kBlock - start / kBlock;
}

} // namespace

StreamCanvas::StreamCanvas(qsizetype maxPixels) : m_maxPixels(maxPixels) {}

StreamCanvas::Change StreamCanvas::apply(QByteArrayView datagram, qint64 nowMs)
{
    Change change;
    StreamDatagram d;
    if (StreamDatagram::parse(datagram, d) != StreamDatagram::Parse::Ok ||
        !acceptFrame(d, nowMs, change))
        return change;
    switch (d.kind) {
    case StreamDatagram::Kind::Pointer:
        if (d.frame >= m_pointerFrame) {
            m_pointerFrame = d.frame;
            change.pointer = m_pointer != QPoint(d.x, d.y);
            m_pointer = QPoint(d.x, d.y);
        }
        break;
    case StreamDatagram::Kind::Versions:
        applyVersions(d);
        break;
    case StreamDatagram::Kind::Piece:
        change.area = d.scale == 0 ? applyPiece(d) : applySketch(d);
        break;
    case StreamDatagram::Kind::Move:
        change.area = applyMove(d);
        break;
    }
    return change;
}

bool StreamCanvas::acceptFrame(const StreamDatagram &d, qint64 nowMs, Change &change)
{
    const bool fresh = m_newest != 0 && nowMs - m_lastAccepted <= kQuietMs;
    if (fresh && (qint64(d.frame) + kPastFrames < qint64(m_newest) ||
                  qint64(d.frame) > qint64(m_newest) + kFutureFrames))
        return false;
    if (d.screenWidth != m_width || d.screenHeight != m_height) {
        if (qsizetype(d.screenWidth) * d.screenHeight > m_maxPixels ||
            (fresh && (d.frame <= m_newest || nowMs - m_lastResized < kResizeGapMs)))
            return false;
        resize(d.screenWidth, d.screenHeight);
        m_lastResized = nowMs;
        change.resized = true;
    } else if (!fresh && d.frame < m_newest) {
        // Another stream, counting from its own start: what it shows stays until it is drawn
        // over, but no frame of the old one may hold the new one back.
        forgetFrames();
    }
    if (!fresh || d.frame >= m_newest) {
        m_newest = d.frame;
        m_windowed = (d.flags & StreamDatagram::kWindowed) != 0;
    }
    m_lastAccepted = nowMs;
    return true;
}

void StreamCanvas::resize(int width, int height)
{
    m_width = width;
    m_height = height;
    m_blockColumns = (width + kBlock - 1) / kBlock;
    m_blockRows = (height + kBlock - 1) / kBlock;
    m_cellColumns = (width + StreamDatagram::kCell - 1) / StreamDatagram::kCell;
    const int cellRows = (height + StreamDatagram::kCell - 1) / StreamDatagram::kCell;
    std::vector<std::uint32_t>(std::size_t(width) * height, kOpaqueBlack).swap(m_pixels);
    m_pieceFrame.assign(std::size_t(m_blockColumns) * m_blockRows, 0);
    m_sketchFrame.assign(m_pieceFrame.size(), 0);
    m_showsPiece.assign(m_pieceFrame.size(), 0);
    m_moveFrame = 0;
    m_versions.assign(std::size_t(m_cellColumns) * cellRows, 0);
    m_pointer.reset();
    m_pointerFrame = 0;
}

void StreamCanvas::forgetFrames()
{
    std::fill(m_pieceFrame.begin(), m_pieceFrame.end(), 0);
    std::fill(m_sketchFrame.begin(), m_sketchFrame.end(), 0);
    std::fill(m_showsPiece.begin(), m_showsPiece.end(), 0);
    m_moveFrame = 0;
    std::fill(m_versions.begin(), m_versions.end(), 0);
    m_pointerFrame = 0;
}

int StreamCanvas::cellOfBlock(int column, int row) const
{
    return (row / kBlocksPerCell) * m_cellColumns + column / kBlocksPerCell;
}

// Shows its current picture: a piece no older than the cell's last change.
bool StreamCanvas::current(int block, int cell) const
{
    return m_pieceFrame[std::size_t(block)] != 0 &&
           m_pieceFrame[std::size_t(block)] >= m_versions[std::size_t(cell)];
}

// A change cannot be newer than the frame that tells of it: such versions are refused whole.
void StreamCanvas::applyVersions(const StreamDatagram &d)
{
    const int columns = d.cellColumns();
    const int rows = d.cellRows();
    const char *values = d.payload.data();
    for (int i = 0; i < columns * rows; ++i) {
        if (qFromBigEndian<quint32>(values + i * 4) > d.frame)
            return;
    }
    const int firstColumn = d.x / StreamDatagram::kCell;
    const int firstRow = d.y / StreamDatagram::kCell;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            std::uint32_t &version =
                m_versions[std::size_t((firstRow + row) * m_cellColumns + firstColumn + column)];
            version =
                std::max(version, qFromBigEndian<quint32>(values + (row * columns + column) * 4));
        }
    }
}

QRect StreamCanvas::applyPiece(const StreamDatagram &d)
{
    const int row = d.y / kBlock;
    const int first = d.x / kBlock;
    const int count = blocksOver(d.x, d.width);
    const auto wanted = [&](int column) {
        const int block = blockIndex(column, row);
        return d.frame > m_pieceFrame[std::size_t(block)] &&
               (d.frame >= m_sketchFrame[std::size_t(block)] ||
                d.frame >= m_versions[std::size_t(cellOfBlock(column, row))]);
    };
    bool any = false;
    for (int column = first; column < first + count && !any; ++column)
        any = wanted(column);
    if (!any || !m_decoder.decode(d.payload, d.width, d.height, d.quality))
        return {};
    QRect drawn;
    for (int column = first; column < first + count; ++column) {
        if (!wanted(column))
            continue;
        drawBlock(column, row, d.x, d.y, 0);
        m_pieceFrame[std::size_t(blockIndex(column, row))] = d.frame;
        m_showsPiece[std::size_t(blockIndex(column, row))] = 1;
        drawn |= QRect(column * kBlock, row * kBlock, kBlock, kBlock);
    }
    return drawn & QRect(0, 0, m_width, m_height);
}

QRect StreamCanvas::applySketch(const StreamDatagram &d)
{
    const int firstRow = d.y / kBlock;
    const int rows = blocksOver(d.y, d.height);
    const int first = d.x / kBlock;
    const int count = blocksOver(d.x, d.width);
    const auto wanted = [&](int column, int row) {
        const int block = blockIndex(column, row);
        return !current(block, cellOfBlock(column, row)) &&
               d.frame > m_sketchFrame[std::size_t(block)] &&
               d.frame > m_pieceFrame[std::size_t(block)];
    };
    bool any = false;
    for (int row = firstRow; row < firstRow + rows && !any; ++row)
        for (int column = first; column < first + count && !any; ++column)
            any = wanted(column, row);
    if (!any || !m_decoder.decode(d.payload, d.codedWidth(), d.codedHeight(), d.quality))
        return {};
    QRect drawn;
    for (int row = firstRow; row < firstRow + rows; ++row) {
        for (int column = first; column < first + count; ++column) {
            if (!wanted(column, row))
                continue;
            drawBlock(column, row, d.x, d.y, d.scale);
            m_sketchFrame[std::size_t(blockIndex(column, row))] = d.frame;
            m_showsPiece[std::size_t(blockIndex(column, row))] = 0;
            drawn |= QRect(column * kBlock, row * kBlock, kBlock, kBlock);
        }
    }
    return drawn & QRect(0, 0, m_width, m_height);
}

// A move of frame N redraws what was shown at N - 1. A block showed its picture of N - 1 where it
// shows a piece no older than its cell's last change before N (as the move tells) and none of N
// or later. A block the move touches becomes current at N only where all it shows then came
// from such blocks and no piece of N is to redraw its band; the rest is moved all the same (the
// picture looks right sooner) and waits, not current, for pieces, the sketch or the round.
QRect StreamCanvas::applyMove(const StreamDatagram &d)
{
    // Each move is made once, in order: a move made again, or after a later one, would move
    // what was moved already.
    if (d.frame <= m_moveFrame)
        return {};
    m_moveFrame = d.frame;
    const QPoint by = d.moveBy();
    const QRect target = d.place().translated(by);
    const QRect cells = StreamDatagram::moveCells(d.place(), by);
    const auto told = [&](int column, int row) {
        const int cell = (row / kBlocksPerCell - cells.top()) * cells.width() +
                         column / kBlocksPerCell - cells.left();
        return qFromBigEndian<quint16>(d.payload.data() + StreamDatagram::kMoveOffsetSize +
                                       std::ptrdiff_t(cell) * 2);
    };
    const auto shownBefore = [&](int column, int row) {
        const auto block = std::size_t(blockIndex(column, row));
        const std::uint32_t shown = m_pieceFrame[block];
        const quint32 age = told(column, row) & StreamDatagram::kOldest;
        return m_showsPiece[block] && shown < d.frame &&
               shown >= (age >= d.frame ? 0 : d.frame - age);
    };
    const auto blocksOf = [](const QRect &place) {
        return QRect(QPoint(place.left() / kBlock, place.top() / kBlock),
                     QPoint(place.right() / kBlock, place.bottom() / kBlock));
    };
    const QRect targetCells = StreamDatagram::moveCells(target, QPoint());
    const QRect touched =
        QRect(targetCells.topLeft() * kBlocksPerCell, targetCells.size() * kBlocksPerCell) &
        QRect(0, 0, m_blockColumns, m_blockRows);
    // Per touched block: kCurrent, kWritten (the move draws on it).
    m_moveOutcome.assign(std::size_t(touched.width()) * touched.height(), 0);
    const auto outcome = [&](int column, int row) -> char & {
        return m_moveOutcome[std::size_t((row - touched.top()) * touched.width() + column -
                                         touched.left())];
    };
    QRect drawn;
    for (int row = touched.top(); row <= touched.bottom(); ++row) {
        for (int column = touched.left(); column <= touched.right(); ++column) {
            const QRect block = QRect(column * kBlock, row * kBlock, kBlock, kBlock) &
                                QRect(0, 0, m_width, m_height);
            const QRect landed = block & target;
            const bool written =
                !landed.isEmpty() && m_pieceFrame[std::size_t(blockIndex(column, row))] < d.frame;
            if (written)
                drawn |= landed;
            bool known =
                (target.contains(block) || shownBefore(column, row)) &&
                (told(column, row) >> (StreamDatagram::kBandsShift + row % kBlocksPerCell) & 1) ==
                    0;
            const QRect from = blocksOf(landed.translated(-by));
            for (int y = from.top(); known && !landed.isEmpty() && y <= from.bottom(); ++y)
                for (int x = from.left(); known && x <= from.right(); ++x)
                    known = shownBefore(x, y);
            outcome(column, row) = char((known ? kCurrent : 0) | (written ? kWritten : 0));
        }
    }
    // Rows in the order that reads each row before anything lands on it.
    m_row.resize(std::size_t(target.width()));
    if (by.y() > 0)
        for (int y = target.bottom(); y >= target.top(); --y)
            moveRow(y, target, by, d.frame);
    else
        for (int y = target.top(); y <= target.bottom(); ++y)
            moveRow(y, target, by, d.frame);
    for (int row = touched.top(); row <= touched.bottom(); ++row)
        for (int column = touched.left(); column <= touched.right(); ++column) {
            const auto block = std::size_t(blockIndex(column, row));
            const char result = outcome(column, row);
            if (result & kCurrent) {
                m_pieceFrame[block] = std::max(m_pieceFrame[block], d.frame);
                m_showsPiece[block] = 1;
            } else if (result & kWritten) {
                m_showsPiece[block] = 0;
            }
        }
    for (int row = targetCells.top(); row <= targetCells.bottom(); ++row)
        for (int column = targetCells.left(); column <= targetCells.right(); ++column) {
            std::uint32_t &version = m_versions[std::size_t(row * m_cellColumns + column)];
            version = std::max(version, d.frame);
        }
    return drawn;
}

// One row of a move's target, but not over blocks a piece of its frame or later drew already.
void StreamCanvas::moveRow(int targetY, const QRect &target, const QPoint &by, std::uint32_t frame)
{
    const std::uint32_t *source =
        m_pixels.data() + std::size_t(targetY - by.y()) * m_width + (target.left() - by.x());
    std::copy(source, source + target.width(), m_row.begin());
    std::uint32_t *line = m_pixels.data() + std::size_t(targetY) * m_width;
    for (int x = target.left(); x <= target.right();) {
        const int end = std::min((x / kBlock + 1) * kBlock, target.right() + 1);
        if (m_pieceFrame[std::size_t(blockIndex(x / kBlock, targetY / kBlock))] < frame)
            std::copy(m_row.begin() + (x - target.left()), m_row.begin() + (end - target.left()),
                      line + x);
        x = end;
    }
}

// One block from the decoded picture of a piece placed at (left, top), each of whose pixels
// stands for 2^scale x 2^scale of the screen's.
void StreamCanvas::drawBlock(int column, int row, int left, int top, int scale)
{
    const JpegDecoder::Image &image = m_decoder.image();
    const int x0 = column * kBlock;
    const int y0 = row * kBlock;
    const int x1 = std::min(x0 + kBlock, m_width);
    const int y1 = std::min(y0 + kBlock, m_height);
    for (int y = y0; y < y1; ++y) {
        const int sourceY = std::min((y - top) >> scale, image.height - 1);
        std::uint32_t *target = m_pixels.data() + std::size_t(y) * m_width;
        for (int x = x0; x < x1; ++x)
            target[x] = pixelAt(image, std::min((x - left) >> scale, image.width - 1), sourceY);
    }
}

bool StreamCanvas::complete() const
{
    for (std::size_t block = 0; block < m_pieceFrame.size(); ++block) {
        if (m_pieceFrame[block] == 0 && m_sketchFrame[block] == 0)
            return false;
    }
    return !m_pieceFrame.empty();
}

bool StreamCanvas::sharp() const
{
    for (int row = 0; row < m_blockRows; ++row) {
        for (int column = 0; column < m_blockColumns; ++column) {
            if (!current(blockIndex(column, row), cellOfBlock(column, row)))
                return false;
        }
    }
    return !m_pieceFrame.empty();
}
