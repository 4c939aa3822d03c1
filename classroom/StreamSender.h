#pragma once

#include "protocol/StreamKey.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class PictureSource;

// The Velmora stream on a thread of its own, so that no picture taken, compared or coded
// delays the window or the older stream's 10 ms tick: pictures up to 30 a second while the
// screen changes, the pointer every 10 ms when it moves, the refresh and the round
// (StreamPlanner), all paced on the wire at no more than its budget a second.
class StreamSender : public QObject
{
    Q_OBJECT

public:
    struct Start
    {
        // The classroom's broadcast address and StreamPort.
        QString host;
        quint16 port = 0;
        std::int32_t quality = 50;
        bool windowed = false;
        std::unique_ptr<PictureSource> pictures;
    };
    // What the stream has done so far, for the benchmarks and the log.
    struct Counts
    {
        qint64 datagrams = 0;
        qint64 bytes = 0;
        qint64 pictures = 0;
        qint64 dropped = 0;
        // The stream thread's processor time.
        qint64 cpuNs = 0;
        int quality = 0;
    };

    explicit StreamSender(QObject *parent = nullptr);
    ~StreamSender() override;

    // Stops a stream already running, then starts this one; without pictures nothing starts.
    void start(Start start);
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

    // The demonstration's key, from any thread: every datagram made from now on carries its
    // tag; a key that is not valid sends them untagged.
    void setKey(const StreamKey &key);
    void setQuality(std::int32_t setting);
    Counts counts() const;

signals:
    // The stream ended on a failure (no screen to capture, no address); the older stream goes
    // on, and so do viewers that fall back to it.
    void failed(const QString &reason);

private:
    struct Shared;
    void run(Start start);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
