#include "classroom/FrameDecoder.h"

FrameDecoder::FrameDecoder(Executor executor, QObject *parent)
    : QObject(parent), m_runner(std::move(executor), 1)
{
}

void FrameDecoder::submit(QByteArray frame)
{
    if (!m_busy) {
        start(std::move(frame));
        return;
    }
    m_waiting = std::move(frame);
    m_hasWaiting = true;
}

void FrameDecoder::discard()
{
    ++m_generation;
    m_waiting = QByteArray();
    m_hasWaiting = false;
}

void FrameDecoder::setTargetSize(int width, int height)
{
    m_targetWidth = width;
    m_targetHeight = height;
}

// The decoder is touched by one decode at a time, and by this thread only between decodes.
void FrameDecoder::start(QByteArray frame)
{
    m_busy = true;
    m_decoder.setTargetSize(m_targetWidth, m_targetHeight);
    const quint64 generation = m_generation;
    m_runner.run([this, frame = std::move(frame), generation] {
        const bool decoded = m_decoder.decode(frame);
        // Posted before this decode counts as returned, so the destructor outlives the post.
        QMetaObject::invokeMethod(
            this, [this, generation, decoded] { finished(generation, decoded); },
            Qt::AutoConnection);
    });
}

// The next frame starts decoding before the picture is shown, so both go on at once.
void FrameDecoder::finished(quint64 generation, bool decoded)
{
    m_busy = false;
    const bool shown = decoded && generation == m_generation;
    if (shown)
        m_picture = m_decoder.takeImage();
    if (m_hasWaiting) {
        m_hasWaiting = false;
        start(std::exchange(m_waiting, QByteArray()));
    }
    if (shown)
        emit pictureChanged();
}
