#include "capture/ScreenCapture.h"
#include "classroom/FrameSource.h"
#include "protocol/JpegEncoder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/WaitUntil.h"
#include "tests/ui/FakePrompter.h"
#include "ui/TForm_client.h"
#include "ui/Tfrm_main.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QHostInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

// The teacher's screen: dark blue with a white bar, a picture the student's screen can show.
class TeacherFrames : public FrameSource
{
public:
    std::span<const std::uint8_t> captureFrame(std::int32_t quality) override
    {
        QImage picture(800, 600, QImage::Format_RGB32);
        picture.fill(QColor(0, 0, 0x80));
        QPainter(&picture).fillRect(350, 100, 100, 400, Qt::white);
        return m_encoder.encode(picture.constBits(), picture.width(), picture.height(),
                                int(picture.bytesPerLine()), quality);
    }

private:
    JpegEncoder m_encoder;
};

// Runs a program on the student's host (the peer's network namespace).
QStringList onPeer(const QByteArray &peer, const QStringList &command)
{
    return QStringList{QStringLiteral("-t"), QString::fromLatin1(peer), QStringLiteral("-n")} +
           command;
}

} // namespace

// The real console on 10.77.0.1 and the real student agent on 10.77.0.2 with an X display of
// its own, which finds the console by its name: what the teacher does shows on the student's
// screen, and the student's screen in the console's monitor window.
class AgentCrossHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        peer = qgetenv("VELMORA_PEER_PID");
        if (peer.isEmpty())
            GTEST_SKIP() << "run through tests/crosshost.sh";
        // The classic stipple root, so that a screen released from the black-out is not black.
        display.start(QStringLiteral("nsenter"),
                      onPeer(peer, {QStringLiteral("Xvfb"), QStringLiteral("-displayfd"),
                                    QStringLiteral("1"), QStringLiteral("-screen"),
                                    QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                    QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                    QStringLiteral("-retro"), QStringLiteral("-noreset")}));
        if (!display.waitForReadyRead(20000))
            GTEST_SKIP() << "Xvfb does not start on the student's host";
        studentDisplay = QStringLiteral(":") + QString::fromLatin1(display.readLine()).trimmed();

        QFile ini(dir.filePath(QStringLiteral("server.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[SysInfo]\nSocket_Port=1024\n");
        ini.close();
        console = std::make_unique<Tfrm_main>(ConsoleOptions{ini.fileName(), QString(), dir.path(),
                                                             std::make_shared<TeacherFrames>()});
        console->show();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), studentDisplay);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("XDG_SESSION_TYPE"));
        student.setProcessEnvironment(environment);
        student.setProcessChannelMode(QProcess::MergedChannels);
        student.start(QStringLiteral("nsenter"),
                      onPeer(peer, {QStringLiteral(VELMORA_STUDENT_AGENT),
                                    QStringLiteral("--config"), dir.filePath("none.ini"),
                                    QStringLiteral("--console"), QHostInfo::localHostName()}));
        ASSERT_TRUE(student.waitForStarted());
    }
    void TearDown() override
    {
        console.reset();
        student.kill();
        student.waitForFinished();
        display.kill();
        display.waitForFinished();
    }
    bool logged(const QString &line)
    {
        return waitUntil(
            [&] {
                output += QString::fromUtf8(student.readAll());
                return output.contains(line);
            },
            8000);
    }
    // The student's screen as its own X server holds it.
    QImage studentScreen()
    {
        const QByteArray own = qgetenv("DISPLAY");
        qputenv("DISPLAY", studentDisplay.toLatin1());
        QImage shot(1024, 768, QImage::Format_RGB32);
        shot.fill(Qt::magenta);
        try {
            ScreenCapture capture;
            const ScreenCapture::Frame &frame = capture.capture();
            shot =
                QImage(frame.pixels, frame.width, frame.height, frame.stride, QImage::Format_RGB32)
                    .copy();
        } catch (const std::exception &error) {
            ADD_FAILURE() << error.what() << " " << studentDisplay.toStdString();
        }
        qputenv("DISPLAY", own);
        return shot;
    }
    bool screenIs(QRgb colour)
    {
        return waitUntil(
            [&] {
                const QImage shot = studentScreen();
                return (shot.pixel(100, 100) & 0xffffff) == colour &&
                       (shot.pixel(900, 700) & 0xffffff) == colour;
            },
            8000);
    }
    // The stipple of the bare root shows through: some pixel of a small block is not black.
    bool released()
    {
        return waitUntil([&] {
            const QImage shot = studentScreen();
            for (int y = 100; y < 104; ++y)
                for (int x = 100; x < 104; ++x)
                    if ((shot.pixel(x, y) & 0xffffff) != 0)
                        return true;
            return false;
        });
    }
    QToolButton *button(const char *name)
    {
        return console->findChild<QToolButton *>(QString::fromLatin1(name));
    }

    QByteArray peer;
    QProcess display;
    QString studentDisplay;
    FakePrompter prompter;
    QTemporaryDir dir;
    std::unique_ptr<Tfrm_main> console;
    QProcess student;
    QString output;
};

TEST_F(AgentCrossHostTest, TheRealAgentObeysTheRealConsoleOnItsOwnScreen)
{
    QTreeView *list = console->findChild<QTreeView *>(QStringLiteral("ListView1"));
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() == 1; }, 8000))
        << output.toStdString();
    // The name is looked up off the window's thread and fills the caption when it comes.
    EXPECT_TRUE(waitUntil([&] {
        return list->model()->index(0, 0).data().toString() == QStringLiteral("pupil-one");
    })) << list->model()->index(0, 0).data().toString().toStdString();

    prompter.onDialog = [](QDialog &dialog) {
        dialog.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"))
            ->setPlainText(QString::fromUtf8("下课了"));
        dialog.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
        return dialog.result();
    };
    console->findChild<QAction *>(QStringLiteral("N9"))->trigger();
    EXPECT_TRUE(logged(QStringLiteral("command MESSAGE"))) << output.toStdString();

    button("SpeedButton3")->click();
    EXPECT_TRUE(logged(QStringLiteral("command BLACKSCREEN")));
    EXPECT_TRUE(screenIs(0x000000)) << "the student's screen is not blacked out";
    button("SpeedButton3")->click();
    EXPECT_TRUE(logged(QStringLiteral("command UNBLACKSCREEN")));
    EXPECT_TRUE(released());

    // The teacher's dark blue fills the student's screen (800 x 600 scaled to 1024 x 768).
    button("SpeedButton1")->click();
    EXPECT_TRUE(logged(QStringLiteral("command IMAGE")));
    EXPECT_TRUE(waitUntil(
        [&] {
            const QImage shot = studentScreen();
            const QRgb blue = shot.pixel(100, 100);
            const QRgb bar = shot.pixel(512, 384);
            return qBlue(blue) > 0x60 && qRed(blue) < 0x20 && qRed(bar) > 0xe0;
        },
        8000))
        << "the demonstration does not show on the student's screen";
    button("SpeedButton1")->click();
    EXPECT_TRUE(logged(QStringLiteral("command STOP")));

    list->selectionModel()->select(list->model()->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    console->findChild<QAction *>(QStringLiteral("N12"))->trigger();
    auto *monitor = console->findChild<TForm_client *>(QStringLiteral("Form_client"));
    EXPECT_TRUE(waitUntil([&] { return !monitor->Image1()->pixmap().isNull(); }, 8000))
        << output.toStdString();
    // The student's 1024 x 768 screen, decoded no larger than the small monitor window needs.
    const QSize shown = monitor->Image1()->pixmap().size();
    EXPECT_TRUE(shown == QSize(1024, 768) || shown == QSize(512, 384) || shown == QSize(256, 192))
        << shown.width() << "x" << shown.height();
    monitor->close();
    EXPECT_TRUE(logged(QStringLiteral("command NOTSCREEN")));

    // A console that goes away during a black-out leaves the student free.
    button("SpeedButton3")->click();
    EXPECT_TRUE(screenIs(0x000000));
    console.reset();
    EXPECT_TRUE(logged(QStringLiteral("the console connection ended"))) << output.toStdString();
    EXPECT_TRUE(released());
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
}
