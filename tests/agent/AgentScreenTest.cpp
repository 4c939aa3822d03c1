#include "agent/StreamViewer.h"
#include "agent/ViewerWindow.h"
#include "capture/ScreenCapture.h"
#include "protocol/Chunks.h"
#include "protocol/JpegDecoder.h"
#include "protocol/JpegEncoder.h"
#include "protocol/PieceEncoder.h"
#include "protocol/StreamDatagram.h"
#include "tests/agent/AgentFixture.h"
#include "tests/support/WaitUntil.h"

#include <QGuiApplication>
#include <QImage>
#include <QNetworkDatagram>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {

// What the X server shows, as the console would capture it.
QImage screenshot()
{
    ScreenCapture capture;
    const ScreenCapture::Frame &frame = capture.capture();
    return QImage(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGB32)
        .copy();
}

bool near(QRgb pixel, QRgb expected)
{
    return std::abs(qRed(pixel) - qRed(expected)) < 40 &&
           std::abs(qGreen(pixel) - qGreen(expected)) < 40 &&
           std::abs(qBlue(pixel) - qBlue(expected)) < 40;
}

// Whether every pixel of a grid over the screen is black (the line of text aside).
bool allBlack(const QImage &shot)
{
    for (int y = 10; y < shot.height() * 3 / 4; y += 37) {
        for (int x = 10; x < shot.width(); x += 41) {
            if ((shot.pixel(x, y) & 0xffffff) != 0) {
                return false;
            }
        }
    }
    return true;
}

// Whether another client of the X server could take the keyboard and the pointer now; the
// agent's grabs must stop it.
bool inputIsFree()
{
    xcb_connection_t *other = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    auto *keyboard =
        xcb_grab_keyboard_reply(other,
                                xcb_grab_keyboard(other, 0, root, XCB_CURRENT_TIME,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                nullptr);
    auto *pointer = xcb_grab_pointer_reply(other,
                                           xcb_grab_pointer(other, 0, root, 0, XCB_GRAB_MODE_ASYNC,
                                                            XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                                                            XCB_CURRENT_TIME),
                                           nullptr);
    const bool free = keyboard && keyboard->status == XCB_GRAB_STATUS_SUCCESS && pointer &&
                      pointer->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(keyboard);
    std::free(pointer);
    xcb_disconnect(other); // gives back whatever it took
    return free;
}

// The teacher's picture: red, green, blue and yellow quarters, 320 x 200 (the screen's shape).
QByteArray quarters()
{
    QImage picture(320, 200, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.fillRect(0, 0, 160, 100, Qt::red);
    painter.fillRect(160, 0, 160, 100, Qt::green);
    painter.fillRect(0, 100, 160, 100, Qt::blue);
    painter.fillRect(160, 100, 160, 100, Qt::yellow);
    painter.end();
    JpegEncoder encoder;
    const auto file = encoder.encode(picture.constBits(), picture.width(), picture.height(),
                                     int(picture.bytesPerLine()), 90);
    return QByteArray(reinterpret_cast<const char *>(file.data()), qsizetype(file.size()));
}

// The same quarters as the Velmora stream sends them, at one frame, tagged with a key.
std::vector<QByteArray> streamedQuarters(quint32 frame, bool windowed,
                                         const StreamKey &key = StreamKey(),
                                         Qt::GlobalColor topLeft = Qt::red)
{
    QImage picture(320, 200, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.fillRect(0, 0, 160, 100, topLeft);
    painter.fillRect(160, 0, 160, 100, Qt::green);
    painter.fillRect(0, 100, 160, 100, Qt::blue);
    painter.fillRect(160, 100, 160, 100, Qt::yellow);
    painter.end();
    PieceEncoder encoder;
    std::vector<QByteArray> datagrams;
    for (int y = 0; y < 200; y += StreamDatagram::kBand) {
        std::vector<PieceEncoder::Piece> pieces;
        encoder.encode(picture.constBits() + y * picture.bytesPerLine(),
                       int(picture.bytesPerLine()), 320, 16, 0, 5, 90, pieces);
        for (const PieceEncoder::Piece &piece : pieces) {
            StreamDatagram d;
            d.flags = windowed ? StreamDatagram::kWindowed : 0;
            d.frame = frame;
            d.quality = quint8(piece.quality);
            d.screenWidth = 320;
            d.screenHeight = 200;
            d.x = quint16(piece.firstCell * 64);
            d.y = quint16(y);
            d.width = quint16(std::min(piece.cells * 64, 320 - d.x));
            d.height = 16;
            d.payload = piece.scan;
            datagrams.push_back(d.write(key));
        }
    }
    return datagrams;
}

} // namespace

class AgentScreenTest : public AgentFixture
{
protected:
    void SetUp() override
    {
        if (qgetenv("DISPLAY").isEmpty() || QGuiApplication::platformName() != "xcb") {
            GTEST_SKIP() << "needs the private Xvfb and QT_QPA_PLATFORM=xcb";
        }
        startAgent();
        // The console's datagrams come from its own address, here loopback.
        ASSERT_TRUE(console.bind(QHostAddress::LocalHost, 0));
    }
    void sendDatagram(const QByteArray &data, quint16 port)
    {
        ASSERT_EQ(console.writeDatagram(data, QHostAddress::LocalHost, port), data.size());
    }
    QUdpSocket console;
};

TEST_F(AgentScreenTest, BlackOutCoversTheScreenUntilReleasedOrTheConsoleGoes)
{
    // The student's desktop, so that a released screen is not black.
    QWidget desktop;
    desktop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    desktop.setStyleSheet(QStringLiteral("background: #336699"));
    desktop.show();
    ASSERT_TRUE(waitUntil([] { return !allBlack(screenshot()); }));

    send("BLACKSCREEN", 1);
    ASSERT_EQ(agent->blackout().windows().size(), QGuiApplication::screens().size());
    EXPECT_TRUE(waitUntil([] { return allBlack(screenshot()); }));
    EXPECT_TRUE(waitUntil([] { return !inputIsFree(); }));

    // A demonstration that comes and goes under a black-out neither shows nor frees the input.
    send("IMAGE", 1);
    send("STOP", 1);
    settle(100);
    EXPECT_TRUE(allBlack(screenshot()));
    EXPECT_FALSE(inputIsFree());

    send("UNBLACKSCREEN", 1);
    EXPECT_TRUE(waitUntil([] { return !allBlack(screenshot()); }));
    EXPECT_TRUE(waitUntil([] { return inputIsFree(); }));

    send("BLACKSCREEN", 1);
    ASSERT_TRUE(waitUntil([] { return allBlack(screenshot()); }));
    connection->close();
    EXPECT_TRUE(waitUntil([&] { return !agent->blackout().isShown(); }));
    EXPECT_TRUE(waitUntil([] { return !allBlack(screenshot()); }));
}

TEST_F(AgentScreenTest, ViewerShowsTheTeachersFrameScaledWithThePointerWhereTheDatagramSays)
{
    send("IMAGE", 1);
    // A piece of a frame the student joined too late, then a frame of its own.
    sendDatagram(QByteArray(2048, '\x55'), kImagePort);
    for (const QByteArray &piece : chunks::cut(quarters())) {
        sendDatagram(piece, kImagePort);
    }
    sendDatagram("110/40/40/", kMousePort);
    // Datagrams from anyone but the console paint nothing.
    QUdpSocket stranger;
    ASSERT_TRUE(stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    stranger.writeDatagram("110/300/190/", QHostAddress::LocalHost, kMousePort);

    const QSize screen = QGuiApplication::primaryScreen()->size();
    const int sx = screen.width() / 320;
    const int sy = screen.height() / 200;
    QImage shot;
    ASSERT_TRUE(waitUntil(
        [&] {
            shot = screenshot();
            return near(shot.pixel(80 * sx, 150 * sy), qRgb(0, 0, 255)) &&
                   (shot.pixel(40 * sx + 2, 40 * sy + 10) & 0xffffff) == 0xffffff;
        },
        5000))
        << "frame or pointer not shown";
    EXPECT_TRUE(near(shot.pixel(80 * sx, 50 * sy), qRgb(255, 0, 0)));
    EXPECT_TRUE(near(shot.pixel(240 * sx, 50 * sy), qRgb(0, 255, 0)));
    EXPECT_TRUE(near(shot.pixel(240 * sx, 150 * sy), qRgb(255, 255, 0)));
    // The arrow: its outline black, red beside it, no second pointer where the stranger said.
    EXPECT_EQ(shot.pixel(40 * sx, 40 * sy + 8) & 0xffffff, 0u);
    EXPECT_TRUE(near(shot.pixel(40 * sx + 30, 40 * sy + 30), qRgb(255, 0, 0)));
    EXPECT_TRUE(near(shot.pixel(300 * sx + 2, 190 * sy + 10), qRgb(255, 255, 0)));
    EXPECT_FALSE(inputIsFree());

    // The pointer moves on and leaves no trace where it was; the extremes of 32 bits harm nothing.
    sendDatagram("110/2147483647/-2147483648/", kMousePort);
    sendDatagram("110/120/40/", kMousePort);
    EXPECT_TRUE(waitUntil([&] {
        shot = screenshot();
        return (shot.pixel(120 * sx + 2, 40 * sy + 10) & 0xffffff) == 0xffffff &&
               near(shot.pixel(40 * sx + 2, 40 * sy + 10), qRgb(255, 0, 0));
    }));

    send("STOP", 1);
    EXPECT_FALSE(agent->viewer().isVisible());
    EXPECT_TRUE(waitUntil([] { return inputIsFree(); }));
}

TEST_F(AgentScreenTest, MonitoredScreenArrivesInChunksTheConsolesDecoderReads)
{
    QUdpSocket mousePort;
    ASSERT_TRUE(mousePort.bind(QHostAddress::LocalHost, kMousePort));
    send("SCREEN", 1);
    QList<QByteArray> file;
    ASSERT_TRUE(waitUntil([&] {
        while (mousePort.hasPendingDatagrams()) {
            QByteArray datagram(int(mousePort.pendingDatagramSize()), '\0');
            mousePort.readDatagram(datagram.data(), datagram.size());
            file.append(datagram);
            if (datagram.size() < 2048) {
                return true;
            }
        }
        return false;
    }));
    for (qsizetype i = 0; i + 1 < file.size(); ++i) {
        ASSERT_EQ(file[i].size(), 2048);
    }
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.decode(file.join()));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    EXPECT_EQ(decoder.image().width, screen.width());
    EXPECT_EQ(decoder.image().height, screen.height());

    // 2 files per second by default: the next second brings two or three more, not a stream.
    int files = 0;
    const auto countFiles = [&] {
        while (mousePort.hasPendingDatagrams()) {
            if (mousePort.receiveDatagram().data().size() < 2048) {
                ++files;
            }
        }
    };
    for (int i = 0; i < 10; ++i) {
        settle(100);
        countFiles();
    }
    EXPECT_GE(files, 1);
    EXPECT_LE(files, 3);

    send("NOTSCREEN", 1);
    settle(100);
    while (mousePort.hasPendingDatagrams()) {
        mousePort.receiveDatagram();
    }
    settle(1200);
    EXPECT_FALSE(mousePort.hasPendingDatagrams()) << "still sending after NOTSCREEN";
}

// A 4K teacher's frame arrives shrunk to half by the decoder; the pointer is still in the
// teacher's pixels and lands where the teacher's point shows.
TEST(ViewerWindowTest, PointerIsPlacedByTheTeachersScreenNotTheShrunkFrame)
{
    ViewerWindow viewer;
    viewer.resize(1024, 768);
    QImage half(1920, 1080, QImage::Format_RGB32);
    half.fill(Qt::blue);
    viewer.showFrame(half, QSize(3840, 2160));
    const QRect frame = viewer.frameRect();
    EXPECT_EQ(viewer.toWindow(QPoint(3840, 2160)), frame.topLeft() + QPoint(1024, 576));
    EXPECT_EQ(viewer.toWindow(QPoint(1920, 1080)), frame.topLeft() + QPoint(512, 288));
}

// Our console's stream in a window: the student keeps the keyboard and the pointer, sees the
// teacher's pointer where the stream puts it, and nothing a stranger sends.
TEST_F(AgentScreenTest, TheStreamShowsInAWindowBesideTheStudentsWork)
{
    send("IMAGE", 1);
    QUdpSocket stranger;
    ASSERT_TRUE(stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    for (const QByteArray &datagram : streamedQuarters(50, false))
        stranger.writeDatagram(datagram, QHostAddress::LocalHost, kStreamPort);
    for (const QByteArray &datagram : streamedQuarters(1, true))
        sendDatagram(datagram, kStreamPort);
    StreamDatagram pointer;
    pointer.kind = StreamDatagram::Kind::Pointer;
    pointer.flags = StreamDatagram::kWindowed;
    pointer.frame = 2;
    pointer.screenWidth = 320;
    pointer.screenHeight = 200;
    pointer.x = 40;
    pointer.y = 40;
    sendDatagram(pointer.write(StreamKey()), kStreamPort);

    // Two thirds of the screen, centred: the corners stay the student's.
    ASSERT_TRUE(waitUntil([&] { return agent->viewer().isVisible(); }, 5000));
    EXPECT_TRUE(agent->viewer().isWindowed());
    QImage shot;
    const QRect shown =
        agent->viewer().frameRect().translated(agent->viewer().geometry().topLeft());
    ASSERT_TRUE(waitUntil(
        [&] {
            shot = screenshot();
            return near(
                shot.pixel(shown.left() + shown.width() / 4, shown.top() + shown.height() * 3 / 4),
                qRgb(0, 0, 255));
        },
        5000))
        << "the stream's picture is not shown";
    EXPECT_TRUE(
        near(shot.pixel(shown.left() + shown.width() * 3 / 4, shown.top() + shown.height() / 4),
             qRgb(0, 255, 0)));
    EXPECT_FALSE(near(shot.pixel(2, 2), qRgb(255, 0, 0)));
    const QPoint tip = agent->viewer().geometry().topLeft() + agent->viewer().toWindow({40, 40});
    EXPECT_EQ(shot.pixel(tip + QPoint(2, 10)) & 0xffffff, 0xffffffu) << "no teacher's pointer";
    EXPECT_TRUE(inputIsFree());

    // The older stream no longer paints once the new one did.
    for (const QByteArray &piece : chunks::cut(quarters()))
        sendDatagram(piece, kImagePort);
    settle(200);
    EXPECT_TRUE(agent->viewer().isWindowed());

    send("STOP", 1);
    EXPECT_FALSE(agent->viewer().isVisible());
}

// An agent that trusts one console's key shows what that key tagged, from wherever it comes,
// and nothing else: not untagged datagrams from the console's own address, not another key's,
// not a tagged datagram with one byte changed.
TEST(SignedStreamTest, ASignedOnlyViewerShowsNothingItsKeyDidNotTag)
{
    constexpr quint16 port = 25663;
    const StreamKey key = StreamKey::generate();
    StreamViewer viewer;
    ASSERT_TRUE(viewer.start(port, QHostAddress::LocalHost));
    viewer.setKey(key, true);
    QUdpSocket console;
    const auto send = [&](const std::vector<QByteArray> &datagrams) {
        for (const QByteArray &datagram : datagrams)
            console.writeDatagram(datagram, QHostAddress::LocalHost, port);
        settle(200);
    };
    std::vector<QByteArray> forged = streamedQuarters(3, false, key, Qt::cyan);
    for (QByteArray &datagram : forged)
        datagram[datagram.size() - 1] = char(datagram.back() ^ 1);
    send(streamedQuarters(1, false, StreamKey(), Qt::cyan));
    send(streamedQuarters(2, false, StreamKey::generate(), Qt::cyan));
    send(forged);
    EXPECT_FALSE(viewer.isShowing());

    send(streamedQuarters(4, false, key));
    ASSERT_TRUE(waitUntil([&] { return viewer.isShowing(); }));
    const QImage shown = viewer.image().copy();
    EXPECT_TRUE(near(shown.pixel(40, 40), qRgb(255, 0, 0)));
    forged = streamedQuarters(6, true, key, Qt::cyan);
    for (QByteArray &datagram : forged)
        datagram[12] = char(datagram[12] ^ 1);
    send(forged);
    send(streamedQuarters(5, true, StreamKey::generate(), Qt::cyan));
    EXPECT_EQ(viewer.image(), shown);
    EXPECT_FALSE(viewer.canvas().windowed());
}
