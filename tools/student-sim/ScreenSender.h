#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSize>
#include <QTimer>
#include <QUdpSocket>

// Sends a simulated student's screen to the console while it is monitored: one JPEG file per
// tick, cut into 2048-byte datagrams sent back to back so that two files never interleave.
class ScreenSender : public QObject
{
    Q_OBJECT

public:
    explicit ScreenSender(QString name, QObject *parent = nullptr);

    // The cut every monitored file gets: full 2048-byte pieces, then the remainder (1 to 2047
    // bytes), or an empty datagram when the size is a multiple of 2048 (an empty file too).
    static QList<QByteArray> chunks(QByteArrayView file);

    void setSource(const QHostAddress &source) { m_source = source; }
    void setFramesPerSecond(double fps);
    void setPictureSize(QSize size) { m_size = size; }
    void setQuality(int quality) { m_quality = quality; }

    void setDestination(const QHostAddress &console, quint16 port);
    // Sends at once and then at the set rate; starting again while sending changes nothing.
    void start();
    void stop();
    // Sends one file, cut as chunks() says, to the destination; tests use it for crafted files.
    bool sendFile(QByteArrayView file);
    bool isSending() const { return m_timer.isActive(); }
    int framesSent() const { return m_framesSent; }

signals:
    void frameSent(int number, qsizetype bytes);
    void failed(const QString &reason);

private:
    void sendFrame();
    bool ensureBound();

    QString m_name;
    QHostAddress m_source;
    QHostAddress m_console;
    quint16 m_port = 0;
    QSize m_size;
    int m_quality;
    int m_framesSent = 0;
    QTimer m_timer;
    QUdpSocket m_socket;
};
