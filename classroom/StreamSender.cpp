#include "classroom/StreamSender.h"

#include "classroom/PictureSource.h"
#include "classroom/StreamPlanner.h"
#include "net/StreamSocket.h"
#include "system/AppError.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <limits>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 kPointerMs = 10;
// A pointer still this long is asked after only with the pictures: the thread then wakes 30
// times a second, not 100, or only when told of motion where the source tells of it.
constexpr qint64 kPointerStillMs = 250;
// A source that tells of changes wakes the thread itself; it is still looked at this often, for
// what it cannot tell (the once-a-second comparison, a warped pointer) and for the planner's
// ticks.
constexpr qint64 kQuietLookMs = 100;
// Told of drawing after a quiet moment, the picture waits this long: drawing comes in bursts
// (a window repainted strip by strip), and a picture taken at its first strip would send the
// rest again a frame later.
constexpr qint64 kSettleMs = 6;
// A picture is taken only once what the last ones queued leaves the wire within a frame's time:
// the rate gives way to the budget, and the pointer and refresh never wait long behind it.
constexpr qint64 kQueueForPicture = StreamPlanner::kBudget * StreamPlanner::kFrameMs / 1000;
// What may go out at once after a quiet moment: a typed word, not a whole screen, so that no
// viewer's receive buffer overflows.
constexpr double kBurstBytes = 64 * 1024;
constexpr qint64 kNoPointer = -1;
constexpr qint64 kNever = std::numeric_limits<qint64>::max() / 1000;

qint64 nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

qint64 cpuNs(clockid_t clock)
{
    timespec spent{};
    clock_gettime(clock, &spent);
    return qint64(spent.tv_sec) * 1'000'000'000 + spent.tv_nsec;
}

} // namespace

struct StreamSender::Shared
{
    Shared() : signal(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Shared() { ::close(signal); }
    Shared(const Shared &) = delete;
    Shared &operator=(const Shared &) = delete;
    // Wakes the thread from its wait: something in here changed.
    void notify() const
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(signal, &one, sizeof one);
    }
    // The thread's sleep until wakeUs, a notice, or the source's descriptor turning readable.
    void waitUntil(qint64 wakeUs, qint64 nowUs, int changes) const;

    std::mutex lock;
    const int signal;
    bool stopping = false;
    StreamKey key;
    std::int32_t quality = 50;
    quint64 version = 0;
    std::atomic<qint64> datagrams{0};
    std::atomic<qint64> bytes{0};
    std::atomic<qint64> pictures{0};
    std::atomic<qint64> dropped{0};
    // The thread's processor clock while it runs, read by whoever asks (a call into the kernel
    // the thread need not make on every pass); what it took in all once it ended.
    std::optional<clockid_t> cpuClock;
    qint64 cpuNs = 0;
    std::atomic<int> codedQuality{0};
};

void StreamSender::Shared::waitUntil(qint64 wakeUs, qint64 nowUs, int changes) const
{
    const qint64 left = std::max<qint64>(0, wakeUs - nowUs);
    const timespec timeout{time_t(left / 1'000'000), long(left % 1'000'000) * 1000};
    std::array<pollfd, 2> waiting{{{signal, POLLIN, 0}, {changes, POLLIN, 0}}};
    ppoll(waiting.data(), changes >= 0 ? 2 : 1, &timeout, nullptr);
    if (waiting[0].revents & POLLIN) {
        std::uint64_t notices = 0;
        [[maybe_unused]] const ssize_t taken = ::read(signal, &notices, sizeof notices);
    }
}

StreamSender::StreamSender(QObject *parent) : QObject(parent), m_shared(std::make_shared<Shared>())
{
}

StreamSender::~StreamSender()
{
    stop();
}

void StreamSender::start(Start start)
{
    stop();
    if (!start.pictures)
        return;
    {
        std::lock_guard<std::mutex> hold(m_shared->lock);
        m_shared->stopping = false;
        m_shared->quality = start.quality;
        ++m_shared->version;
    }
    m_thread = std::thread([this, start = std::move(start)]() mutable { run(std::move(start)); });
}

void StreamSender::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(m_shared->lock);
        m_shared->stopping = true;
    }
    m_shared->notify();
    m_thread.join();
}

void StreamSender::setKey(const StreamKey &key)
{
    std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->key = key;
    ++m_shared->version;
    m_shared->notify();
}

void StreamSender::setQuality(std::int32_t setting)
{
    std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->quality = setting;
    ++m_shared->version;
    m_shared->notify();
}

StreamSender::Counts StreamSender::counts() const
{
    qint64 spentNs = 0;
    {
        std::lock_guard<std::mutex> hold(m_shared->lock);
        spentNs = m_shared->cpuClock ? cpuNs(*m_shared->cpuClock) : m_shared->cpuNs;
    }
    return {m_shared->datagrams, m_shared->bytes, m_shared->pictures,
            m_shared->dropped,   spentNs,         m_shared->codedQuality};
}

// The stream's thread: the pointer, the pictures and the planner's ticks when they are due,
// the outbox as fast as the budget lets it go, and a sleep until the next of these.
void StreamSender::run(Start start)
{
    Shared &shared = *m_shared;
    StreamSocket socket;
    QString failure = socket.open(start.host, start.port);
    const qint64 startUs = nowUs();
    StreamPlanner planner(startUs / 1000);
    planner.setWindowed(start.windowed);
    quint64 seen = 0;
    double tokens = kBurstBytes;
    qint64 refilledUs = startUs;
    qint64 nextPointerMs = startUs / 1000;
    qint64 nextPictureMs = startUs / 1000;
    std::optional<QPoint> lastPointer;
    std::vector<QByteArray> batch;
    qint64 pointerMovedMs = startUs / 1000;
    // Whether the source told of a change not yet pictured (the picture then settles first).
    bool told = false;
    // Whether the thread slept through such a settling, deaf to the source.
    bool settling = false;
    // Whether the next picture is to be taken within the moment a drawing is given to settle.
    const auto pictureWithinSettling = [&nextPictureMs](qint64 nowMs) {
        return nextPictureMs > nowMs && nextPictureMs - nowMs <= kSettleMs;
    };
    std::unique_lock<std::mutex> hold(shared.lock);
    clockid_t ownClock{};
    if (pthread_getcpuclockid(pthread_self(), &ownClock) == 0)
        shared.cpuClock = ownClock;
    try {
        while (failure.isEmpty() && !shared.stopping) {
            if (shared.version != seen) {
                seen = shared.version;
                planner.setKey(shared.key);
                planner.setQuality(shared.quality);
            }
            hold.unlock();
            const int changes = start.pictures->changeDescriptor();
            // A change told stays news until it is pictured: the source need not be asked.
            bool news = settling || start.pictures->mayHaveChanged();
            const qint64 now = nowUs() / 1000;
            if (changes >= 0 && news && !told) {
                told = true;
                nextPictureMs = std::max(nextPictureMs, now + kSettleMs);
            }
            // The picture is taken before the pointer is asked after, so that a pointer at rest
            // is asked with the capture; its datagram still goes out ahead of the picture's.
            const bool pictureDue =
                now >= nextPictureMs && news && planner.outbox().bytes() <= kQueueForPicture;
            PictureSource::Picture picture;
            if (pictureDue) {
                nextPictureMs = now + StreamPlanner::kFrameMs;
                picture = start.pictures->grab();
            }
            // Told of a change, the pointer is asked at once, unless a picture is to be taken
            // within the settling moment: its capture asks after a pointer at rest without a wait
            // of its own.
            const bool pictureSoon = !pictureDue && pictureWithinSettling(now);
            if (nextPointerMs != kNoPointer &&
                (now >= nextPointerMs || (changes >= 0 && news && !pictureSoon))) {
                const std::optional<QPoint> pointer = start.pictures->pointer();
                if (pointer != lastPointer) {
                    lastPointer = pointer;
                    pointerMovedMs = now;
                }
                nextPointerMs = pointer ? now + kPointerMs : kNoPointer;
                if (pointer)
                    planner.pointer(*pointer, now);
            }
            if (pictureDue) {
                if (picture.bgrx) {
                    planner.picture(picture.bgrx, picture.width, picture.height, picture.stride,
                                    now, picture.changed ? &*picture.changed : nullptr);
                    if (!picture.changed)
                        start.pictures->lookedEverywhere(
                            planner.screen().changedOutside(picture.told));
                    ++shared.pictures;
                    shared.codedQuality = planner.quality();
                }
                // What the picture shows is no news; what came while it was taken is, and it
                // may already wait in the connection's queue, where the descriptor cannot tell.
                // It has had the picture's time to settle.
                news = start.pictures->mayHaveChanged();
                told = news && changes >= 0;
            }
            // One reading of the clock serves the tick, the pacing and the wake: on some
            // machines each reading is a call into the kernel.
            const qint64 sendingUs = nowUs();
            planner.tick(sendingUs / 1000);

            tokens = std::min(kBurstBytes, tokens + double(sendingUs - refilledUs) *
                                                        double(StreamPlanner::kBudget) / 1e6);
            refilledUs = sendingUs;
            StreamOutbox &outbox = planner.outbox();
            batch.clear();
            while (!outbox.isEmpty() && tokens >= outbox.front() + StreamPlanner::kWireOverhead) {
                tokens -= double(outbox.front() + StreamPlanner::kWireOverhead);
                batch.push_back(outbox.pop());
            }
            if (!batch.empty()) {
                const StreamSocket::Sent sent = socket.send(batch);
                shared.datagrams += sent.datagrams;
                shared.bytes += sent.bytes;
                shared.dropped += qsizetype(batch.size()) - sent.datagrams;
            }
            // A picture held back by the queue waits for the datagrams to go, not in a loop; a
            // quiet source that tells of changes is waited on.
            qint64 pictureWakeMs = nextPictureMs;
            if (changes >= 0 && !news)
                pictureWakeMs = std::max(nextPictureMs, sendingUs / 1000 + kQuietLookMs);
            // A pointer at rest is asked after only with the pictures.
            if (nextPointerMs != kNoPointer && now - pointerMovedMs >= kPointerStillMs)
                nextPointerMs = std::max(nextPointerMs, pictureWakeMs);
            if (sendingUs / 1000 >= nextPictureMs && outbox.bytes() > kQueueForPicture)
                pictureWakeMs = kNever;
            qint64 wakeUs =
                std::min(pictureWakeMs, nextPointerMs == kNoPointer ? kNever : nextPointerMs) *
                1000;
            if (!outbox.isEmpty()) {
                const double missing = outbox.front() + StreamPlanner::kWireOverhead - tokens;
                wakeUs = std::min(
                    wakeUs, sendingUs + qint64(missing * 1e6 / double(StreamPlanner::kBudget)) + 1);
            }
            // While a change told settles, what the source tells (more drawing, the pointer's
            // motion) waits for the picture a few milliseconds away, which takes it all: the
            // pointer is not asked in that moment, so a wake for it would do nothing.
            settling = told && pictureWithinSettling(sendingUs / 1000);
            shared.waitUntil(wakeUs, sendingUs, settling ? -1 : changes);
            hold.lock();
        }
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
        if (!hold.owns_lock())
            hold.lock();
    }
    shared.cpuNs = cpuNs(CLOCK_THREAD_CPUTIME_ID);
    shared.cpuClock.reset();
    hold.unlock();
    if (!failure.isEmpty())
        QMetaObject::invokeMethod(
            this, [this, failure] { emit failed(failure); }, Qt::QueuedConnection);
}
