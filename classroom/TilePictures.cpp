#include "classroom/TilePictures.h"

#include <QThread>
#include <algorithm>
#include <vector>

namespace {
// A burst of decodes comes at every tick; two threads see it through without taking the
// machine.
constexpr int kDecodeThreads = 2;
} // namespace

TilePictures::TilePictures(DecodeRunner::Executor executor, QObject *parent)
    : QObject(parent),
      m_runner(std::move(executor), std::clamp(QThread::idealThreadCount(), 1, kDecodeThreads))
{
    // Never early: two decodes of one student are a whole interval apart.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TilePictures::decodeWaiting);
}

void TilePictures::offer(quint64 key, QByteArray file)
{
    Tile &tile = m_tiles[key];
    if (tile.generation == 0)
        tile.generation = ++m_generations;
    tile.waiting = std::move(file);
}

void TilePictures::forget(quint64 key)
{
    m_tiles.remove(key);
}

void TilePictures::forgetAll()
{
    m_tiles.clear();
}

void TilePictures::setTileSize(int width, int height)
{
    if (width == m_width && height == m_height)
        return;
    m_width = width;
    m_height = height;
    for (Tile &tile : m_tiles)
        tile.tried = false;
}

qsizetype TilePictures::waitingBytes() const
{
    qsizetype bytes = 0;
    for (const Tile &tile : m_tiles)
        bytes += tile.waiting.size();
    return bytes;
}

// The students are picked first and their decodes started afterwards: a decode run on this
// thread reports at once, and what it reports to may change the tiles.
void TilePictures::decodeWaiting()
{
    std::vector<quint64> due;
    for (auto it = m_tiles.cbegin(); it != m_tiles.cend(); ++it) {
        if (!it->busy && !it->waiting.isEmpty())
            due.push_back(it.key());
    }
    for (const quint64 key : due) {
        const auto found = m_tiles.find(key);
        if (found != m_tiles.end())
            startDecode(key, *found);
    }
}

void TilePictures::startDecode(quint64 key, Tile &tile)
{
    tile.busy = true;
    const bool tried = tile.tried;
    const std::size_t lastTried = tile.lastTried;
    m_runner.run([this, key, generation = tile.generation, file = std::exchange(tile.waiting, {}),
                  tried, lastTried, width = m_width, height = m_height] {
        Outcome outcome{qHash(file), width, height, false, {}};
        if (!tried || outcome.hash != lastTried) {
            JpegDecoder decoder;
            decoder.setTargetSize(width, height);
            outcome.shown = decoder.decode(file) && !decoder.lastWasDamaged();
            if (outcome.shown)
                outcome.picture = decoder.takeImage();
        }
        QMetaObject::invokeMethod(
            this,
            [this, key, generation, outcome = std::move(outcome)] {
                finished(key, generation, outcome);
            },
            Qt::AutoConnection);
    });
}

void TilePictures::finished(quint64 key, quint64 generation, const Outcome &outcome)
{
    const auto found = m_tiles.find(key);
    if (found == m_tiles.end() || found->generation != generation)
        return;
    found->busy = false;
    // Tried at another size, an unchanged file is still worth decoding at this one.
    found->tried = outcome.width == m_width && outcome.height == m_height;
    found->lastTried = outcome.hash;
    if (outcome.shown)
        emit pictureDecoded(key, outcome.picture);
}
