#include "bench/BenchApplication.h"
#include "bench/CpuClock.h"
#include "classroom/ClassroomSession.h"
#include "classroom/FrameSource.h"
#include "classroom/RosterModel.h"
#include "net/ChannelServer.h"
#include "net/ReverseLookup.h"
#include "net/TServerSocket.h"
#include "protocol/Commands.h"
#include "protocol/StreamDatagram.h"
#include "settings/ConsoleKey.h"
#include "tools/student-sim/StudentAgent.h"

#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <functional>
#include <memory>
#include <vector>

namespace {
constexpr int kClassroom = 40;
constexpr int kRoom = 250;
constexpr int kBatches = 9;
constexpr int kCommandsToAll = 20;
constexpr int kTimeoutMs = 20000;
// The demonstration's highest rate: 30 full refreshes of 1920x1080 a second, about 4 MB/s.
constexpr double kStreamBytesPerSecond = 4e6;

class NoFrames : public FrameSource
{
public:
    std::span<const std::uint8_t> captureFrame(std::int32_t) override { return {}; }
};

// A console with no window, its ports chosen by the system; the trusted channel open with a key
// of its own.
struct Console
{
    Console()
    {
        ConsoleSettings settings;
        settings.ImagePort = settings.MousePort = settings.CommandPort = settings.AgentPort = 0;
        session.open(settings, key);
    }
    quint16 commandPort() const
    {
        return quint16(session.findChild<TServerSocket *>()->Socket()->ListenPort());
    }
    quint16 agentPort() const { return quint16(session.agentServer()->ListenPort()); }

    ConsoleKey key = ConsoleKey::generate();
    ClassroomSession session{std::make_shared<NoFrames>()};
};

// Runs the calling thread's event loop until it is quit or the time is over; true when quit.
bool runUntilQuit(QEventLoop &loop)
{
    QTimer::singleShot(kTimeoutMs, &loop, [&loop] { loop.exit(1); });
    return loop.exec() == 0;
}

// Simulated students on a thread of their own, so that the console's thread does the console's
// work only; they tell the waiting loop when they have obeyed as many commands as expected.
class StudentThread
{
public:
    StudentThread()
    {
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }
    ~StudentThread()
    {
        run([this] { m_students.clear(); });
        m_thread.quit();
        m_thread.wait();
    }

    // From 127.0.<n>.<m>, each its own host; through the channel when fingerprint is set.
    void connect(int count, quint16 port, const QString &fingerprint)
    {
        run([this, count, port, fingerprint] {
            for (int i = 0; i < count; ++i) {
                const QString name = QStringLiteral("s%1").arg(i);
                auto agent = std::make_unique<StudentAgent>(
                    name,
                    QHostAddress(QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(2 + i % 250)));
                if (!fingerprint.isEmpty())
                    agent->setChannel(fingerprint, name);
                QObject::connect(agent.get(), &StudentAgent::commandReceived, &m_context,
                                 [this] { obeyed(); });
                agent->connectToConsole(QHostAddress::LocalHost, port);
                m_students.push_back(std::move(agent));
            }
        });
    }
    // The loop is quit once `more` commands more have been obeyed.
    void expect(int more, QEventLoop &loop)
    {
        m_loop = &loop;
        m_target = m_obeyed + more;
    }

private:
    void run(const std::function<void()> &work)
    {
        QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
    }
    void obeyed()
    {
        if (++m_obeyed == m_target)
            QMetaObject::invokeMethod(m_loop.load(), &QEventLoop::quit, Qt::QueuedConnection);
    }

    QThread m_thread;
    QObject m_context;
    std::vector<std::unique_ptr<StudentAgent>> m_students;
    std::atomic<int> m_obeyed{0};
    std::atomic<int> m_target{-1};
    std::atomic<QEventLoop *> m_loop{nullptr};
};

bool waitForRows(const Console &console, int rows)
{
    QEventLoop loop;
    QObject::connect(&console.session.rosterModel(), &RosterModel::rowsInserted, &loop, [&] {
        if (console.session.rosterModel().rowCount() == rows)
            loop.quit();
    });
    return console.session.rosterModel().rowCount() == rows || runUntilQuit(loop);
}

// The console thread's processor time for one batch: commands to all the students alternately
// black out and free them, then a message to each one alone.
double batchSeconds(const Console &console, StudentThread &students)
{
    QEventLoop loop;
    students.expect(kClassroom * (kCommandsToAll + 1), loop);
    const double before = cpu_clock::callingThreadSeconds();
    for (int i = 0; i < kCommandsToAll; ++i)
        console.session.SendToAll(i % 2 ? command::UnblackScreen : command::BlackScreen);
    for (int row = 0; row < kClassroom; ++row)
        console.session.SendToRow(row, command::message(QStringLiteral("下课前交作业")));
    if (!runUntilQuit(loop))
        return -1;
    return cpu_clock::callingThreadSeconds() - before;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void installNames()
{
    reverse_lookup::install(
        [](quint32 address) { return "pc-" + QByteArray::number(address & 0xffff); });
}

// A classroom of plaintext students and one of channel students take the same commands, in
// alternating batches; the figure is the ratio of the console's processor time (goal: <= 1.5).
void channelStudentCommandCost(benchmark::State &state)
{
    benchApplication();
    installNames();
    for (auto _ : state) {
        Console plain;
        Console trusted;
        StudentThread plainStudents;
        StudentThread channelStudents;
        plainStudents.connect(kClassroom, plain.commandPort(), {});
        channelStudents.connect(kClassroom, trusted.agentPort(), trusted.key.fingerprint);
        if (!waitForRows(plain, kClassroom) || !waitForRows(trusted, kClassroom)) {
            state.SkipWithError("the students did not all connect");
            break;
        }
        std::vector<double> plainCpu;
        std::vector<double> channelCpu;
        for (int batch = 0; batch < kBatches; ++batch) {
            plainCpu.push_back(batchSeconds(plain, plainStudents));
            channelCpu.push_back(batchSeconds(trusted, channelStudents));
        }
        const double perCommand = kClassroom * (kCommandsToAll + 1) / 1e6;
        state.counters["plain_us_per_student_command"] = median(plainCpu) / perCommand;
        state.counters["channel_us_per_student_command"] = median(channelCpu) / perCommand;
        state.counters["ratio"] = median(channelCpu) / median(plainCpu);
        state.SetIterationTime(median(channelCpu));
    }
}

// A room of channel students switched on together: every one's handshake and hello until its
// row is listed (goal: all 250 within 5 s).
void roomOfChannelStudents(benchmark::State &state)
{
    benchApplication();
    installNames();
    for (auto _ : state) {
        Console console;
        StudentThread students;
        const double start = cpu_clock::wallSeconds();
        const double startCpu = cpu_clock::callingThreadSeconds();
        students.connect(kRoom, console.agentPort(), console.key.fingerprint);
        waitForRows(console, kRoom);
        const double seconds = cpu_clock::wallSeconds() - start;
        state.SetIterationTime(seconds);
        state.counters["rows"] = console.session.rosterModel().rowCount();
        state.counters["all_listed_s"] = seconds;
        state.counters["console_cpu_s"] = cpu_clock::callingThreadSeconds() - startCpu;
    }
}

// An agent verifying the tag of every datagram of the demonstration at its highest rate, all of
// them full-sized: the share of one core it costs (goal: under 2 %).
void verifyingStreamTags(benchmark::State &state)
{
    const StreamKey key = StreamKey::generate();
    StreamDatagram piece;
    piece.screenWidth = 1920;
    piece.screenHeight = 1080;
    piece.width = 64;
    piece.height = 64;
    const QByteArray payload(StreamDatagram::kMaxPayload, 'j');
    piece.payload = payload;
    const QByteArray datagram = piece.write(key);
    if (datagram.size() != StreamDatagram::kMaxSize || !StreamDatagram::verifies(datagram, key)) {
        state.SkipWithError("the datagram does not verify");
        return;
    }
    const double before = cpu_clock::callingThreadSeconds();
    for (auto _ : state)
        benchmark::DoNotOptimize(StreamDatagram::verifies(datagram, key));
    const double perDatagram =
        (cpu_clock::callingThreadSeconds() - before) / double(state.iterations());
    state.counters["us_per_datagram"] = perDatagram * 1e6;
    state.counters["core_percent_at_4MBps"] =
        100 * perDatagram * kStreamBytesPerSecond / double(datagram.size());
}
} // namespace

BENCHMARK(channelStudentCommandCost)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(roomOfChannelStudents)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(verifyingStreamTags);
