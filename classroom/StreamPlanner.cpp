#include "classroom/StreamPlanner.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <tuple>

namespace {

constexpr int kCell = StreamDatagram::kCell;
constexpr int kBand = StreamDatagram::kBand;
constexpr qint64 kRefreshMs = 1000;
constexpr qint64 kRoundBytesPerSecond = 5000;
constexpr qint64 kRoundEveryMs = 1000;
// A cell unchanged this long is sent once more, sharp: what a viewer lost of a change comes
// back, and so does the quality a busy moment took from it.
constexpr qint64 kSettleMs = 300;
constexpr qint64 kPointerHeartbeatMs = 500;
constexpr int kMinQuality = 10;
constexpr int kQualityStep = 5;
// The picture never falls below ten frames a second for its size alone.
constexpr int kMinFrameRate = 10;
constexpr qint64 kFrameTarget = StreamPlanner::kBudget / kMinFrameRate * 9 / 10;
constexpr std::uint8_t kAllBands = (1u << (kCell / kBand)) - 1;

} // namespace

StreamPlanner::StreamPlanner(qint64 startMs)
    : m_startMs(startMs), m_nextRefreshMs(startMs + kRefreshMs), m_lastTickMs(startMs)
{
}

void StreamPlanner::setQuality(std::int32_t setting)
{
    m_setting = JpegEncoder::qualityFromSetting(setting);
    m_quality = std::min(m_quality, m_setting);
    if (m_frame == 0)
        m_quality = m_setting;
}

// Frames count time, 30 a second, and at least one more for every picture: a viewer tells
// old from new by them alone. Whatever is cut from the last picture (the refresh, the round)
// carries the time that picture was taken.
void StreamPlanner::advance(qint64 nowMs, bool newPicture)
{
    const auto byTime = std::uint32_t(1 + (nowMs - m_startMs) / kFrameMs);
    m_frame = std::max(newPicture ? m_frame + 1 : m_frame, byTime);
    if (newPicture)
        m_captureMs = std::uint32_t(nowMs);
}

StreamDatagram StreamPlanner::datagram(StreamDatagram::Kind kind) const
{
    StreamDatagram d;
    d.kind = kind;
    d.flags = m_flags;
    d.frame = m_frame;
    d.captureMs = m_captureMs;
    d.screenWidth = quint16(m_screen.width());
    d.screenHeight = quint16(m_screen.height());
    return d;
}

void StreamPlanner::push(const StreamDatagram &d)
{
    m_outbox.push(d.write(m_key));
}

void StreamPlanner::picture(const std::uint8_t *bgrx, int width, int height, int stride,
                            qint64 nowMs, const std::vector<QRect> *drawn)
{
    width = std::min(width, StreamDatagram::kMaxSide);
    height = std::min(height, StreamDatagram::kMaxSide);
    advance(nowMs, true);
    const bool resized = width != m_screen.width() || height != m_screen.height();
    const ScreenChanges::Move move =
        !resized && drawn ? m_screen.findMove(bgrx, stride, *drawn) : ScreenChanges::Move();
    m_screen.compare(bgrx, width, height, stride, drawn, move.place, move.by);
    if (resized) {
        m_cells.assign(m_screen.changed().size(), Cell());
        m_sketch.reset();
        m_nextRefreshMs = nowMs + kRefreshMs;
    }
    const std::vector<char> &changed = m_screen.changed();
    const int columns = m_screen.cellColumns();
    const QRect movedCells = move.place.isEmpty()
                                 ? QRect()
                                 : StreamDatagram::moveCells(move.place.translated(move.by), {});
    // Asked of every cell of the screen: said in place, not as a call into the library.
    const auto moved = [&](int cell) {
        const int column = cell % columns;
        const int row = cell / columns;
        return column >= movedCells.left() && column <= movedCells.right() &&
               row >= movedCells.top() && row <= movedCells.bottom();
    };
    planBands(movedCells);
    if (!move.place.isEmpty())
        sendMove(move);
    int unmoved = 0;
    for (int i = 0; i < int(changed.size()); ++i) {
        const bool cellMoved = moved(i);
        unmoved += changed[std::size_t(i)] && !cellMoved;
        if (changed[std::size_t(i)] || cellMoved) {
            Cell &cell = m_cells[std::size_t(i)];
            cell.changed = m_frame;
            cell.changedAtMs = nowMs;
            cell.settling = true;
        }
    }
    if (m_screen.changedCount() == 0)
        return;
    const qint64 before = m_outbox.bytes() + m_outbox.count() * kWireOverhead;
    if (unmoved > 0)
        sendCells([&](int cell) { return changed[std::size_t(cell)] && !moved(cell); }, m_quality);
    for (const BandRun &run : m_bandRuns) {
        const int top = run.row * kCell + run.firstBand * kBand;
        sendBlock(top, std::min(run.bands * kBand, m_screen.height() - top), run.first, run.count,
                  m_quality);
    }
    adaptQuality(m_outbox.bytes() + m_outbox.count() * kWireOverhead - before);
}

// The cells a move touches that still differ from the moved picture are coded only over their
// bands that do: a row's run of them over the bands from the first to the last any one needs.
void StreamPlanner::planBands(const QRect &movedCells)
{
    m_bandRuns.clear();
    if (movedCells.isEmpty())
        return;
    const std::vector<char> &changed = m_screen.changed();
    const int columns = m_screen.cellColumns();
    m_codedBands.resize(changed.size());
    for (std::size_t i = 0; i < changed.size(); ++i)
        m_codedBands[i] = changed[i] ? kAllBands : 0;
    for (int row = movedCells.top(); row <= movedCells.bottom(); ++row) {
        for (int column = movedCells.left(); column <= movedCells.right();) {
            if (!changed[std::size_t(row * columns + column)]) {
                ++column;
                continue;
            }
            BandRun run{row, column, 0, 0, 0};
            unsigned bands = 0;
            for (; column <= movedCells.right() && changed[std::size_t(row * columns + column)];
                 ++column, ++run.count)
                bands |= m_screen.bands()[std::size_t(row * columns + column)];
            run.firstBand = std::countr_zero(bands);
            run.bands = std::bit_width(bands) - run.firstBand;
            for (int cell = run.first; cell < run.first + run.count; ++cell)
                m_codedBands[std::size_t(row * columns + cell)] =
                    std::uint8_t(((1u << run.bands) - 1) << run.firstBand);
            m_bandRuns.push_back(run);
        }
    }
}

// Each cell the move touches tells when it last changed before this frame, and which of its
// bands pieces of this frame redraw.
void StreamPlanner::sendMove(const ScreenChanges::Move &move)
{
    const QRect cells = StreamDatagram::moveCells(move.place, move.by);
    QByteArray payload(StreamDatagram::moveSize(move.place, move.by), '\0');
    qToBigEndian(qint16(move.by.x()), payload.data());
    qToBigEndian(qint16(move.by.y()), payload.data() + 2);
    char *ages = payload.data() + StreamDatagram::kMoveOffsetSize;
    for (int row = cells.top(); row <= cells.bottom(); ++row)
        for (int column = cells.left(); column <= cells.right(); ++column, ages += 2) {
            const auto i = std::size_t(row * m_screen.cellColumns() + column);
            const auto age =
                std::min<quint32>(m_frame - m_cells[i].changed, StreamDatagram::kOldest);
            qToBigEndian(quint16(age | unsigned(m_codedBands[i]) << StreamDatagram::kBandsShift),
                         ages);
        }
    StreamDatagram d = datagram(StreamDatagram::Kind::Move);
    d.x = quint16(move.place.x());
    d.y = quint16(move.place.y());
    d.width = quint16(move.place.width());
    d.height = quint16(move.place.height());
    d.payload = payload;
    push(d);
}

void StreamPlanner::adaptQuality(qint64 pictureBytes)
{
    if (pictureBytes > kFrameTarget)
        m_quality = std::max(kMinQuality, std::min(m_quality - kQualityStep,
                                                   int(m_quality * kFrameTarget / pictureBytes)));
    else if (pictureBytes < kFrameTarget / 3)
        m_quality = std::min(m_setting, m_quality + kQualityStep);
}

// A run of chosen cells that continues the same run of the row above is coded with it: a
// window that changed is coded in one go, not band by band.
qint64 StreamPlanner::sendCells(const std::function<bool(int)> &chosen, int quality)
{
    const qint64 before = m_outbox.bytes();
    const qsizetype datagrams = m_outbox.count();
    const int columns = m_screen.cellColumns();
    const int rows = m_screen.cellRows();
    const auto isRun = [&](int row, int first, int count) {
        if (row >= rows || (first > 0 && chosen(row * columns + first - 1)) ||
            (first + count < columns && chosen(row * columns + first + count)))
            return false;
        for (int cell = first; cell < first + count; ++cell)
            if (!chosen(row * columns + cell))
                return false;
        return true;
    };
    for (int row = 0; row < rows; ++row) {
        for (int first = 0; first < columns;) {
            if (!chosen(row * columns + first)) {
                ++first;
                continue;
            }
            int count = 1;
            while (first + count < columns && chosen(row * columns + first + count))
                ++count;
            if (row == 0 || !isRun(row - 1, first, count)) {
                int below = 1;
                while (isRun(row + below, first, count))
                    ++below;
                sendBlock(row * kCell, std::min(below * kCell, m_screen.height() - row * kCell),
                          first, count, quality);
            }
            first += count;
        }
    }
    return m_outbox.bytes() - before + (m_outbox.count() - datagrams) * kWireOverhead;
}

void StreamPlanner::sendBlock(int top, int height, int first, int count, int quality)
{
    const int columns = m_screen.cellColumns();
    m_pieces.clear();
    m_encoder.encode(m_screen.pixels() + std::ptrdiff_t(top) * m_screen.stride(), m_screen.stride(),
                     m_screen.width(), height, first, count, quality, m_pieces);
    for (const PieceEncoder::Piece &piece : m_pieces) {
        StreamDatagram d = datagram(StreamDatagram::Kind::Piece);
        d.quality = quint8(piece.quality);
        d.x = quint16(piece.firstCell * kCell);
        d.y = quint16(top + piece.band * kBand);
        d.width = quint16(std::min(piece.cells * kCell, m_screen.width() - d.x));
        d.height = quint16(std::min(kBand, m_screen.height() - d.y));
        d.payload = piece.scan;
        push(d);
        const int cellRow = d.y / kCell;
        for (int cell = piece.firstCell; cell < piece.firstCell + piece.cells; ++cell) {
            Cell &state = m_cells[std::size_t(cellRow * columns + cell)];
            const bool firstBand = state.sent != m_frame;
            state.sent = m_frame;
            state.sentQuality =
                firstBand ? piece.quality : std::min(state.sentQuality, piece.quality);
        }
    }
}

void StreamPlanner::pointer(QPoint position, qint64 nowMs)
{
    if (m_screen.width() == 0)
        return;
    position.setX(std::clamp(position.x(), 0, m_screen.width() - 1));
    position.setY(std::clamp(position.y(), 0, m_screen.height() - 1));
    if (position == m_pointer && nowMs - m_lastPointerMs < kPointerHeartbeatMs)
        return;
    advance(nowMs, false);
    m_pointer = position;
    m_lastPointerMs = nowMs;
    StreamDatagram d = datagram(StreamDatagram::Kind::Pointer);
    d.captureMs = std::uint32_t(nowMs);
    d.x = quint16(position.x());
    d.y = quint16(position.y());
    push(d);
}

void StreamPlanner::tick(qint64 nowMs)
{
    if (m_screen.width() == 0)
        return;
    advance(nowMs, false);
    if (nowMs >= m_nextRefreshMs) {
        m_nextRefreshMs = nowMs + kRefreshMs;
        sendVersions();
        sendSketch();
    }
    settle(nowMs);
    round(nowMs);
    m_lastTickMs = nowMs;
}

void StreamPlanner::sendVersions()
{
    const int columns = m_screen.cellColumns();
    const int rowsPerDatagram = int(StreamDatagram::kMaxPayload / (4 * columns));
    QByteArray values;
    for (int first = 0; first < m_screen.cellRows(); first += rowsPerDatagram) {
        const int rows = std::min(rowsPerDatagram, m_screen.cellRows() - first);
        values.resize(qsizetype(rows) * columns * 4);
        for (int i = 0; i < rows * columns; ++i)
            qToBigEndian(m_cells[std::size_t(first * columns + i)].changed, values.data() + i * 4);
        StreamDatagram d = datagram(StreamDatagram::Kind::Versions);
        d.y = quint16(first * kCell);
        d.width = quint16(m_screen.width());
        d.height = quint16(std::min(rows * kCell, m_screen.height() - d.y));
        d.payload = values;
        push(d);
    }
}

// The sketch's pieces, placed at its scale.
void StreamPlanner::sendSketch()
{
    const std::vector<PieceEncoder::Piece> &pieces = m_sketch.pieces(m_screen, [this](int cell) {
        return m_cells[std::size_t(cell)].changed > m_sketchedFrame;
    });
    m_sketchedFrame = m_frame;
    const int scale = m_sketch.scale();
    const qint64 before = m_outbox.bytes();
    for (const PieceEncoder::Piece &piece : pieces) {
        StreamDatagram d = datagram(StreamDatagram::Kind::Piece);
        d.quality = quint8(piece.quality);
        d.scale = quint8(scale);
        d.x = quint16((piece.firstCell * kCell) << scale);
        d.y = quint16((piece.band * kBand) << scale);
        d.width = quint16(std::min((piece.cells * kCell) << scale, m_screen.width() - d.x));
        d.height = quint16(std::min(kBand << scale, m_screen.height() - d.y));
        d.payload = piece.scan;
        push(d);
    }
    m_sketch.sent(m_outbox.bytes() - before);
}

void StreamPlanner::settle(qint64 nowMs)
{
    const auto due = [nowMs](const Cell &cell) {
        return cell.settling && nowMs - cell.changedAtMs >= kSettleMs;
    };
    if (std::none_of(m_cells.cbegin(), m_cells.cend(), due))
        return;
    sendCells([&](int i) { return due(m_cells[std::size_t(i)]); }, m_setting);
    for (Cell &cell : m_cells)
        if (due(cell))
            cell.settling = false;
}

// Once a second, within a few kilobytes a second, the cells sent at the lowest quality, then
// the ones sent longest ago, as many as the allowance is likely to pay for: coded in runs, not
// one call of the encoder each. Cells still changing are left to the pictures.
void StreamPlanner::round(qint64 nowMs)
{
    m_roundAllowance =
        std::min(m_roundAllowance + (nowMs - m_lastTickMs) * kRoundBytesPerSecond / 1000,
                 kRoundBytesPerSecond);
    if (m_roundAllowance <= 0 || nowMs - m_lastRoundMs < kRoundEveryMs)
        return;
    m_roundOrder.clear();
    for (int i = 0; i < int(m_cells.size()); ++i)
        if (!m_cells[std::size_t(i)].settling)
            m_roundOrder.push_back(i);
    if (m_roundOrder.empty())
        return;
    const auto count =
        std::clamp<qint64>(m_roundAllowance / m_roundCellBytes, 1, qint64(m_roundOrder.size()));
    const auto key = [this](int i) {
        const Cell &cell = m_cells[std::size_t(i)];
        return std::tuple(cell.sentQuality, cell.sent, i);
    };
    std::partial_sort(m_roundOrder.begin(), m_roundOrder.begin() + count, m_roundOrder.end(),
                      [&](int a, int b) { return key(a) < key(b); });
    m_roundChosen.assign(m_cells.size(), 0);
    for (qint64 k = 0; k < count; ++k)
        m_roundChosen[std::size_t(m_roundOrder[std::size_t(k)])] = 1;
    const qint64 bytes =
        sendCells([this](int i) { return m_roundChosen[std::size_t(i)] != 0; }, m_setting);
    m_roundCellBytes = std::max<qint64>(1, bytes / count);
    m_roundAllowance -= bytes;
    m_lastRoundMs = nowMs;
}
