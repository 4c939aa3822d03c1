// Glass to glass: how long a change of the teacher's screen takes to show on a student's
// screen, with the real console and the real student agent on two hosts (network namespaces
// joined by a veth pair, from tests/crosshost.sh), each with an X server of its own. A probe
// paints a square on the teacher's screen and reads the student's screen every 2 ms until the
// square shows there; meanwhile a window slides over the teacher's desktop and a page scrolls
// in another, so the stream carries desktop work, not a still picture.
//
//   tests/crosshost.sh build/bench/glass/velmora-glass [--students N] [--samples N] [--older]
//
// --older: the agent shows the older stream alone (UseStream=0), for comparison.
// --pinned: the agent is pinned to the console's key (ConsoleFingerprint) and joins through the
// trusted channel, so it shows only the stream's tagged datagrams.
//
// N students: the real agent and N - 1 simulated students, each on an address of its own on the
// student's host, all told IMAGE and sent the older stream.

#include "bench/DesktopPicture.h"
#include "bench/XProbe.h"
#include "settings/ConsoleKey.h"
#include "ui/ConsoleOptions.h"
#include "ui/Tfrm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kSquare = 120;
constexpr int kSquareX = 1700;
constexpr int kSquareY = 120;
constexpr int kTolerance = 48;
constexpr int kGiveUpMs = 5000;
constexpr std::uint32_t kColours[] = {0xe02020, 0x20c040, 0x2040e0, 0xe0e020, 0x20e0e0, 0xe020e0};

QString peer()
{
    return qEnvironmentVariable("VELMORA_PEER_PID");
}

QStringList onPeer(const QStringList &command)
{
    return QStringList{QStringLiteral("-t"), peer(), QStringLiteral("-n")} + command;
}

// An Xvfb of 1920 x 1080 on this host or the student's; its display name, empty on failure.
// The number is chosen here: both hosts share /tmp, but not the abstract sockets by which a
// server started with -displayfd would judge a number free.
QString startDisplay(QProcess &server, bool onStudentsHost)
{
    int number = 70;
    while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
           QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
        ++number;
    const QString display = QStringLiteral(":%1").arg(number);
    const QStringList xvfb{QStringLiteral("Xvfb"),         display,
                           QStringLiteral("-screen"),      QStringLiteral("0"),
                           QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"),
                           QStringLiteral("tcp")};
    if (onStudentsHost)
        server.start(QStringLiteral("nsenter"), onPeer(xvfb));
    else
        server.start(xvfb.front(), xvfb.mid(1));
    for (int i = 0; i < 200 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number));
         ++i)
        QThread::msleep(50);
    return XProbe(display.toStdString()).connected() ? display : QString();
}

bool near(std::uint32_t a, std::uint32_t b)
{
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)) > kTolerance)
            return false;
    return true;
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[std::size_t(share * double(values.size() - 1))];
}

// A window sliding across the desktop and a page scrolling, at about 30 pictures a second.
void desktopWork(const std::string &display, std::atomic<bool> &stop)
{
    XProbe screen(display);
    const DesktopPicture page(480, 1200);
    const DesktopPicture window(360, 240);
    for (int frame = 0; !stop; ++frame) {
        const auto due = Clock::now() + std::chrono::milliseconds(33);
        const int top = (frame * 12) % 900;
        screen.put(page.pixels() + std::ptrdiff_t(top) * page.stride(), page.stride(), 1100, 400,
                   480, 300);
        const int x = 100 + (frame * 9) % 800;
        screen.fill(x - 9, 600, 9, 240, 0x406080);
        screen.put(window.pixels(), window.stride(), x, 600, 360, 240);
        std::this_thread::sleep_until(due);
    }
}

// The probe: a square of a new colour on the teacher's screen, then the student's screen read
// until it shows there; the milliseconds between, or -1 when it never came.
std::vector<double> probe(const std::string &teacherDisplay, const std::string &studentDisplay,
                          int samples, int &missed)
{
    XProbe teacher(teacherDisplay);
    XProbe student(studentDisplay);
    std::mt19937 random(20);
    std::vector<double> latencies;
    for (int i = 0; i < samples; ++i) {
        const std::uint32_t colour = kColours[i % std::size(kColours)];
        const auto painted = Clock::now();
        teacher.fill(kSquareX, kSquareY, kSquare, kSquare, colour);
        bool seen = false;
        while (!seen && Clock::now() - painted < std::chrono::milliseconds(kGiveUpMs)) {
            seen = near(student.pixel(kSquareX + kSquare / 2, kSquareY + kSquare / 2), colour);
            if (!seen)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (seen)
            latencies.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - painted).count());
        else
            ++missed;
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 250));
    }
    return latencies;
}

int option(const QStringList &arguments, const QString &name, int fallback)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    if (peer().isEmpty()) {
        std::fprintf(stderr, "run through tests/crosshost.sh\n");
        return 77;
    }
    QProcess teacherServer;
    QProcess studentServer;
    const QString teacherDisplay = startDisplay(teacherServer, false);
    const QString studentDisplay = startDisplay(studentServer, true);
    if (teacherDisplay.isEmpty() || studentDisplay.isEmpty()) {
        std::fprintf(stderr, "Xvfb does not start\n");
        return 77;
    }
    qputenv("DISPLAY", teacherDisplay.toLatin1());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const int students = std::max(1, option(arguments, QStringLiteral("--students"), 1));
    const int samples = std::max(1, option(arguments, QStringLiteral("--samples"), 100));

    const DesktopPicture desktop(kWidth, kHeight);
    XProbe(teacherDisplay.toStdString())
        .put(desktop.pixels(), desktop.stride(), 0, 0, kWidth, kHeight);

    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("server.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[SysInfo]\nSocket_Port=1024\n[Agent]\nStreamPort=5653\n");
    ini.close();
    QFile studentIni(dir.filePath(QStringLiteral("student.ini")));
    studentIni.open(QIODevice::WriteOnly);
    const bool older = arguments.contains(QStringLiteral("--older"));
    studentIni.write(QByteArray("[Console]\nStreamPort=5653\nUseStream=") + (older ? "0" : "1") +
                     "\n");
    const bool pinned = arguments.contains(QStringLiteral("--pinned"));
    const QString dataFolder = pinned ? dir.filePath(QStringLiteral("data")) : QString();
    if (pinned)
        studentIni.write(
            "ConsoleFingerprint=" +
            ConsoleKey::loadOrCreate(dir.filePath(QStringLiteral("no-admin")), dataFolder)
                .fingerprint.toLatin1() +
            "\n");
    studentIni.close();
    auto console =
        std::make_unique<Tfrm_main>(ConsoleOptions{ini.fileName(),
                                                   QString(),
                                                   dir.path(),
                                                   nullptr,
                                                   {},
                                                   {},
                                                   {},
                                                   dataFolder,
                                                   dir.filePath(QStringLiteral("no-admin"))});
    console->show();

    QProcess agent;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), studentDisplay);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    agent.setProcessEnvironment(environment);
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent.start(
        QStringLiteral("nsenter"),
        onPeer({QStringLiteral(VELMORA_STUDENT_AGENT), QStringLiteral("--config"),
                studentIni.fileName(), QStringLiteral("--console"), QHostInfo::localHostName()}));
    QProcess crowd;
    if (students > 1) {
        for (int i = 0; i < students - 1; ++i)
            QProcess::execute(
                QStringLiteral("nsenter"),
                onPeer({QStringLiteral("ip"), QStringLiteral("addr"), QStringLiteral("add"),
                        QStringLiteral("10.77.0.%1/24").arg(10 + i), QStringLiteral("dev"),
                        QStringLiteral("velmora-b")}));
        crowd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        crowd.start(QStringLiteral("nsenter"),
                    onPeer({QStringLiteral(VELMORA_STUDENT_SIM), QStringLiteral("--console"),
                            QStringLiteral("10.77.0.1"), QStringLiteral("--students"),
                            QString::number(students - 1), QStringLiteral("--source-base"),
                            QStringLiteral("10.77.0.10"), QStringLiteral("--quiet")}));
    }
    const auto *roster = console->findChild<QTreeView *>(QStringLiteral("ListView1"));
    QElapsedTimer clock;
    clock.start();
    while (roster->model()->rowCount() < students && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (roster->model()->rowCount() < students) {
        std::fprintf(stderr, "only %d of %d students connected\n", roster->model()->rowCount(),
                     students);
        return 1;
    }
    console->findChild<QToolButton *>(QStringLiteral("SpeedButton1"))->click();

    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::thread work(desktopWork, teacherDisplay.toStdString(), std::ref(stop));
    int missed = 0;
    std::vector<double> latencies;
    std::thread measuring([&] {
        // The first picture: the whole screen once, before anything is timed.
        XProbe student(studentDisplay.toStdString());
        const std::uint32_t corner = desktop.pixels()[0] | desktop.pixels()[1] << 8 |
                                     std::uint32_t(desktop.pixels()[2]) << 16;
        for (int i = 0; i < 1000 && !near(student.pixel(4, 4), corner); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        latencies =
            probe(teacherDisplay.toStdString(), studentDisplay.toStdString(), samples, missed);
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    measuring.join();
    stop = true;
    work.join();
    std::printf("%s", pinned ? "pinned  " : "");
    std::printf("students %d  samples %zu  missed %d  median %.1f ms  p95 %.1f ms  max %.1f ms\n",
                students, latencies.size(), missed, percentile(latencies, 0.5),
                percentile(latencies, 0.95), percentile(latencies, 1));
    console.reset();
    // The X servers are asked to end, so that they take their lock files with them.
    for (QProcess *process : {&crowd, &agent, &studentServer, &teacherServer}) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
    }
    return 0;
}
