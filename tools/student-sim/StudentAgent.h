#pragma once

#include "SimulatedChannel.h"
#include "net/DatagramHub.h"
#include "net/ScreenSender.h"
#include "protocol/CommandStream.h"
#include "protocol/FrameAssembler.h"
#include "protocol/MouseDatagram.h"
#include "protocol/Ports.h"
#include "protocol/StudentCommand.h"
#include "protocol/WallSender.h"

#include <QHostAddress>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QTcpSocket>
#include <memory>
#include <optional>

// A simulated student computer: holds one command connection to the console (plaintext, or the
// trusted channel), obeys the command texts harmlessly (it only reports them; on the channel it
// answers that it runs no custom command), sends its screen while monitored (and its wall tiles
// when asked on the channel) and receives the demonstration. The tests' fake student and the
// velmora-student-sim program.
class StudentAgent : public QObject
{
    Q_OBJECT

public:
    // A null source lets the system choose the address the connection comes from.
    StudentAgent(QString name, QHostAddress source, QObject *parent = nullptr);
    ~StudentAgent() override;

    // Settings; they take effect at the next connection, demonstration or monitoring.
    void setImagePort(quint16 port) { m_imagePort = port; }
    void setMousePort(quint16 port) { m_mousePort = port; }
    // Listen on the mouse port from the connection on, not only during a demonstration.
    void setListenForBeacons(bool listen) { m_listenForBeacons = listen; }
    // SO_RCVBUF of the command connection, set before connecting (0 keeps the system's).
    void setReceiveBufferSize(int bytes) { m_receiveBufferSize = bytes; }
    // The generated screen picture sent while monitored.
    void setPictureSize(QSize size) { m_pictureSize = size; }
    void setQuality(int quality) { m_quality = quality; }
    // The screen shows count pictures in turn, each drawn once, when first sent: a changing
    // screen that costs next to nothing to send, for many large screens on one machine. 0 draws
    // every file as it is sent.
    void setPictureCycle(int count) { m_cycle = count; }
    ScreenSender &screen() { return m_screen; }
    const WallSender &wall() const { return m_wall; }
    // Speak the trusted channel (connectToConsole then names the agent port), trusting only the
    // console whose key has this fingerprint; claim this user and MAC in the hello (the MAC
    // made from the source address when empty).
    void setChannel(const QString &fingerprint, const QString &user, const QByteArray &mac = {});
    // The channel, once connected in its mode; null for a plaintext student.
    const SimulatedChannel *channel() const { return m_channel.get(); }
    SimulatedChannel *channel() { return m_channel.get(); }

    void connectToConsole(const QHostAddress &console, quint16 port);

    QString name() const { return m_name; }
    QHostAddress sourceAddress() const { return m_source; }
    quint16 localPort() const { return m_socket.localPort(); }
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    // What the agent went through, for tests.
    const QList<StudentCommand> &commands() const { return m_commands; }
    const QByteArray &receivedBytes() const { return m_received; }
    bool isBlackedOut() const { return m_blackedOut; }
    bool isSendingScreen() const { return m_screen.isSending(); }
    bool isDemonstrating() const { return m_demonstrating; }
    // Counts of the current (or last) demonstration, reset by each "IMAGE" that starts one.
    const FrameAssembler &frames() const { return m_frames; }
    std::optional<MouseDatagram> lastCursor() const { return m_lastCursor; }
    // The console name of the last beacon heard; empty before the first.
    QString lastBeaconName() const;

    // Misbehaviours for tests.
    void disconnectGracefully();
    // Closes with SO_LINGER 0, so the console sees a reset rather than an orderly close.
    void reset();
    // Leaves every further byte unread in the socket, like a student that hangs.
    void stopReading();
    void resumeReading();
    void sendJunk(const QByteArray &bytes);
    // A wall tile on the channel, asked for or not.
    void sendTile(const QByteArray &jpeg);

signals:
    void connected();
    void connectFailed(const QString &reason);
    // The connection is over after having been established (any side, any reason).
    void disconnected();
    // Emitted after the command has been recorded and obeyed.
    void commandReceived(const StudentCommand &command);
    void frameAssembled(const QByteArray &frame, bool decoded);
    void cursorReceived(const MouseDatagram &cursor);
    void beaconReceived(const QString &consoleName);
    // One output line without the name ("COMMAND LOGOFF", "FRAMES decoded=3 failed=0", ...).
    void report(const QString &line);

private:
    void onConnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void readCommands();
    void startChannel();
    void obeyOnChannel(const StudentCommand &command, quint32 id);
    void obey(const StudentCommand &command);
    void startDemonstration();
    void stopDemonstration();
    // One shared port subscription; empty while not listening.
    struct Listener
    {
        std::shared_ptr<DatagramHub> hub;
        QMetaObject::Connection connection;
    };

    bool listen(Listener &listener, quint16 port,
                void (StudentAgent::*handler)(const QByteArray &));
    static void release(Listener &listener);
    void endConnection();
    QByteArray drawScreen();
    void onImageDatagram(const QByteArray &data);
    void onMouseDatagram(const QByteArray &data);

    QString m_name;
    QHostAddress m_source;
    quint16 m_imagePort = ports::kImagePort;
    quint16 m_mousePort = ports::kMousePort;
    bool m_listenForBeacons = false;
    int m_receiveBufferSize = 0;
    QSize m_pictureSize;
    int m_quality;
    int m_cycle = 0;
    QList<QByteArray> m_cycleFiles;

    QTcpSocket m_socket;
    QString m_fingerprint;
    QString m_user;
    QByteArray m_mac;
    std::unique_ptr<SimulatedChannel> m_channel;
    bool m_wasConnected = false;
    bool m_ended = false;
    bool m_reading = true;
    CommandStream m_stream;
    QList<StudentCommand> m_commands;
    QByteArray m_received;
    bool m_blackedOut = false;
    bool m_demonstrating = false;

    ScreenSender m_screen;
    WallSender m_wall;
    QImage m_wallPicture;
    FrameAssembler m_frames;
    Listener m_image;
    Listener m_mouse;
    std::optional<MouseDatagram> m_lastCursor;
    std::optional<QByteArray> m_beaconName;
};
