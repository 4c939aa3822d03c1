#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <functional>

// Sends a student's screen to the console while it is monitored: one JPEG file per tick, cut
// into chunks (chunks::cut) sent back to back so that two files never interleave.
class ScreenSender : public QObject
{
    Q_OBJECT

public:
    // Makes the next JPEG file of the screen; an empty result skips the tick.
    using Producer = std::function<QByteArray()>;

    explicit ScreenSender(QObject *parent = nullptr);

    void setSource(const QHostAddress &source) { m_source = source; }
    void setProducer(Producer producer) { m_producer = std::move(producer); }
    // Files per second, kept within 0.01 and 50 so a setting can never make it spin.
    void setFramesPerSecond(double fps);

    void setDestination(const QHostAddress &console, quint16 port);
    // Sends at once and then at the set rate; starting again while sending changes nothing.
    void start();
    void stop();
    // Sends one file, cut as chunks::cut says, to the destination; tests use it for crafted files.
    bool sendFile(QByteArrayView file);
    bool isSending() const { return m_timer.isActive(); }
    int framesSent() const { return m_framesSent; }

signals:
    void failed(const QString &reason);

private:
    void sendFrame();
    bool ensureBound();

    Producer m_producer;
    QHostAddress m_source;
    QHostAddress m_console;
    quint16 m_port = 0;
    int m_framesSent = 0;
    QTimer m_timer;
    QUdpSocket m_socket;
};
