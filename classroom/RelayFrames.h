#pragma once

#include "classroom/FrameSource.h"

#include <QByteArray>
#include <memory>
#include <mutex>

// A student's screen shown to the class: the files the monitored student sends, handed on as
// they are to the older stream's chunks, and decoded on the Velmora stream's own thread for its
// pieces. Until the first file comes there is nothing to send.
class RelayFrames : public FrameSource
{
public:
    RelayFrames();

    // The window's thread: the student's newest file.
    void offer(const QByteArray &file);
    void clear();

    std::span<const std::uint8_t> captureFrame(std::int32_t qualitySetting) override;
    std::unique_ptr<PictureSource> pictureSource() override;

    // The newest file and how many came before it, for whichever thread asks.
    struct Slot
    {
        std::mutex lock;
        QByteArray file;
        quint64 count = 0;
    };

private:
    std::shared_ptr<Slot> m_slot;
    QByteArray m_sending;
};
