#include "classroom/FrameDecoder.h"
#include "protocol/JpegEncoder.h"

#include <QCoreApplication>
#include <QImage>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

QByteArray screenFile(int width)
{
    QImage picture(width, 100, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    JpegEncoder encoder;
    const auto file =
        encoder.encode(picture.constBits(), width, 100, int(picture.bytesPerLine()), 80);
    return QByteArray(reinterpret_cast<const char *>(file.data()), qsizetype(file.size()));
}

// Decodes held back until the test lets each run, on a thread of its own as a slow decode
// would: the window's thread meanwhile goes on, and nothing is shown until the event loop
// hands the picture back.
TEST(FrameDecoder, ASlowDecodeRunsOffTheWindowsThreadWithTheNewestFrameWaiting)
{
    std::vector<std::function<void()>> decodes;
    FrameDecoder decoder([&](std::function<void()> decode) { decodes.push_back(decode); });
    QSignalSpy shown(&decoder, &FrameDecoder::pictureChanged);
    QThread *decodedOn = nullptr;
    const auto runOnAThread = [&](std::size_t index) {
        std::thread([&] {
            decodedOn = QThread::currentThread();
            decodes.at(index)();
        }).join();
    };

    decoder.submit(screenFile(100));
    decoder.submit(screenFile(200));
    decoder.submit(screenFile(300));
    ASSERT_EQ(decodes.size(), 1u);
    runOnAThread(0);
    EXPECT_NE(decodedOn, QThread::currentThread());
    EXPECT_EQ(shown.count(), 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(shown.count(), 1);
    EXPECT_EQ(decoder.picture().width, 100);

    // The frame of 200 was replaced while it waited; the newest one is decoded next.
    ASSERT_EQ(decodes.size(), 2u);
    runOnAThread(1);
    QCoreApplication::processEvents();
    ASSERT_EQ(shown.count(), 2);
    EXPECT_EQ(decoder.picture().width, 300);

    // Frames of a student no longer watched are never shown.
    decoder.submit(screenFile(400));
    decoder.submit(screenFile(500));
    decoder.discard();
    ASSERT_EQ(decodes.size(), 3u);
    runOnAThread(2);
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.count(), 2);
    EXPECT_EQ(decodes.size(), 3u);
    EXPECT_EQ(decoder.picture().width, 300);
}

} // namespace
