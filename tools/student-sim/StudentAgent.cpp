#include "StudentAgent.h"

#include "ReportFormat.h"
#include "ScreenPicture.h"
#include "net/SocketOptions.h"
#include "text/Cp936.h"

#include <QDateTime>

#include <utility>

namespace {

using Kind = StudentCommand::Kind;

// A hung student keeps at most this much in Qt's buffer, so the rest stays in the kernel's.
constexpr qint64 kStalledReadBuffer = 1;
constexpr QSize kDefaultPictureSize(640, 480);
constexpr int kDefaultQuality = 50;

} // namespace

StudentAgent::StudentAgent(QString name, QHostAddress source, QObject *parent)
    : QObject(parent), m_name(std::move(name)), m_source(std::move(source)),
      m_pictureSize(kDefaultPictureSize), m_quality(kDefaultQuality),
      m_wall([this]() -> WallTile::Screen {
          m_wallPicture = ScreenPicture::draw(m_name, QDateTime::currentDateTime(), m_pictureSize,
                                              m_wall.tilesSent() + 1);
          return {m_wallPicture.constBits(), m_wallPicture.width(), m_wallPicture.height(),
                  int(m_wallPicture.bytesPerLine())};
      })
{
    m_screen.setSource(m_source);
    m_screen.setProducer([this] { return drawScreen(); });
    connect(&m_socket, &QTcpSocket::connected, this, &StudentAgent::onConnected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &StudentAgent::onDisconnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &StudentAgent::onSocketError);
    connect(&m_socket, &QTcpSocket::readyRead, this, &StudentAgent::readCommands);
    connect(&m_stream, &CommandStream::command, this, &StudentAgent::obey);
    connect(&m_screen, &ScreenSender::failed, this,
            [this](const QString &reason) { emit report(QStringLiteral("ERROR ") + reason); });
}

StudentAgent::~StudentAgent()
{
    // The socket's destructor would report the close to a half-destroyed agent.
    m_socket.disconnect(this);
    m_socket.abort();
    release(m_image);
    release(m_mouse);
}

void StudentAgent::setChannel(const QString &fingerprint, const QString &user,
                              const QByteArray &mac)
{
    m_fingerprint = fingerprint;
    m_user = user;
    m_mac = mac;
}

void StudentAgent::connectToConsole(const QHostAddress &console, quint16 port)
{
    const QHostAddress local = m_source.isNull() ? QHostAddress(QHostAddress::AnyIPv4) : m_source;
    if (!m_socket.bind(local, 0)) {
        m_ended = true;
        const QString reason =
            QStringLiteral("cannot bind %1: %2").arg(local.toString(), m_socket.errorString());
        emit report(QStringLiteral("ERROR ") + reason);
        emit connectFailed(reason);
        return;
    }
    if (m_receiveBufferSize > 0) {
        SocketOptions::setReceiveBuffer(m_socket.socketDescriptor(), m_receiveBufferSize);
    }
    m_socket.connectToHost(console, port);
}

QString StudentAgent::lastBeaconName() const
{
    return m_beaconName ? cp936::decode(*m_beaconName) : QString();
}

void StudentAgent::disconnectGracefully()
{
    m_socket.disconnectFromHost();
}

void StudentAgent::reset()
{
    if (m_socket.socketDescriptor() != -1) {
        SocketOptions::setAbortiveClose(m_socket.socketDescriptor());
    }
    m_socket.abort();
    endConnection();
}

void StudentAgent::stopReading()
{
    m_reading = false;
    m_socket.setReadBufferSize(kStalledReadBuffer);
}

void StudentAgent::resumeReading()
{
    m_reading = true;
    m_socket.setReadBufferSize(0);
    readCommands();
}

void StudentAgent::sendJunk(const QByteArray &bytes)
{
    m_socket.write(bytes);
}

void StudentAgent::onConnected()
{
    if (!m_fingerprint.isEmpty() && !m_channel) {
        startChannel();
        return;
    }
    m_wasConnected = true;
    emit report(QStringLiteral("CONNECTED %1:%2 -> %3:%4")
                    .arg(m_socket.localAddress().toString())
                    .arg(m_socket.localPort())
                    .arg(m_socket.peerAddress().toString())
                    .arg(m_socket.peerPort()));
    if (m_channel)
        emit report(QStringLiteral("CHANNEL %1 user=%2 mac=%3")
                        .arg(m_channel->fingerprint(), ReportFormat::escapeText(m_user),
                             QString::fromLatin1(m_channel->mac().toHex(':'))));
    if (m_listenForBeacons) {
        listen(m_mouse, m_mousePort, &StudentAgent::onMouseDatagram);
    }
    emit connected();
}

void StudentAgent::onSocketError(QAbstractSocket::SocketError)
{
    if (m_wasConnected || m_ended) {
        return;
    }
    m_ended = true;
    emit report(QStringLiteral("ERROR cannot connect: ") + m_socket.errorString());
    emit connectFailed(m_socket.errorString());
}

void StudentAgent::onDisconnected()
{
    if (m_reading && m_socket.isOpen()) {
        readCommands();
    }
    endConnection();
}

void StudentAgent::endConnection()
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    for (const StudentCommand &command : m_stream.end()) {
        obey(command);
    }
    m_screen.stop();
    m_wall.setTile({});
    stopDemonstration();
    release(m_mouse);
    emit report(QStringLiteral("DISCONNECTED commands=%1").arg(m_commands.size()));
    if (m_wasConnected) {
        emit disconnected();
    }
}

void StudentAgent::sendTile(const QByteArray &jpeg)
{
    if (m_channel)
        m_channel->sendTile(jpeg);
}

QByteArray StudentAgent::drawScreen()
{
    if (m_cycle > 0 && m_cycleFiles.size() >= m_cycle)
        return m_cycleFiles.at(m_screen.framesSent() % m_cycle);
    const QImage picture = ScreenPicture::draw(m_name, QDateTime::currentDateTime(), m_pictureSize,
                                               m_screen.framesSent() + 1);
    const QByteArray file = ScreenPicture::jpeg(picture, m_quality);
    if (m_cycle > 0 && !file.isEmpty())
        m_cycleFiles.append(file);
    return file;
}

// The console counts as connected once its key is trusted and the hello is out.
void StudentAgent::startChannel()
{
    const QHostAddress local = m_socket.localAddress();
    m_channel = std::make_unique<SimulatedChannel>(m_socket, m_fingerprint);
    m_channel->setClaims(m_name, m_user,
                         m_mac.isEmpty() ? SimulatedChannel::macFor(local.toIPv4Address()) : m_mac,
                         m_pictureSize);
    connect(m_channel.get(), &SimulatedChannel::established, this, &StudentAgent::onConnected);
    connect(m_channel.get(), &SimulatedChannel::command, this, &StudentAgent::obeyOnChannel);
    connect(m_channel.get(), &SimulatedChannel::wallAsked, &m_wall, &WallSender::setTile);
    m_wall.setSink([this](const QByteArray &jpeg) { m_channel->sendTile(jpeg); });
    connect(m_channel.get(), &SimulatedChannel::keyReceived, this,
            [this](const StreamKey &key) { emit report(QStringLiteral("KEY %1").arg(key.id())); });
    connect(m_channel.get(), &SimulatedChannel::failed, this, [this](const QString &reason) {
        emit report(QStringLiteral("ERROR channel: ") + reason);
        if (!m_wasConnected) {
            m_ended = true;
            emit connectFailed(reason);
        }
        m_socket.abort();
    });
    m_channel->start();
}

void StudentAgent::obeyOnChannel(const StudentCommand &command, quint32 id)
{
    m_received.append(command.raw);
    if (command.kind == Kind::Custom)
        m_channel->answer(id, true, QStringLiteral("a simulated student runs no custom command"));
    obey(command);
}

void StudentAgent::readCommands()
{
    if (m_channel && m_reading) {
        m_channel->readAvailable();
        return;
    }
    if (!m_reading || m_ended) {
        return;
    }
    const QByteArray bytes = m_socket.readAll();
    if (bytes.isEmpty()) {
        return;
    }
    m_received.append(bytes);
    m_stream.feed(bytes);
}

void StudentAgent::obey(const StudentCommand &command)
{
    m_commands.append(command);
    emit report(ReportFormat::command(command));
    switch (command.kind) {
    case Kind::BlackScreen:
        m_blackedOut = true;
        break;
    case Kind::UnblackScreen:
        m_blackedOut = false;
        break;
    case Kind::Screen:
        m_screen.setDestination(m_socket.peerAddress(), m_mousePort);
        m_screen.start();
        break;
    case Kind::NotScreen:
        if (m_screen.isSending()) {
            m_screen.stop();
            emit report(QStringLiteral("SCREEN sent=%1").arg(m_screen.framesSent()));
        }
        break;
    case Kind::Image:
        startDemonstration();
        break;
    case Kind::Stop:
        stopDemonstration();
        if (m_channel)
            m_channel->clearDemonstrationKey();
        break;
    default:
        break;
    }
    emit commandReceived(command);
}

void StudentAgent::startDemonstration()
{
    if (m_demonstrating) {
        return;
    }
    m_demonstrating = true;
    m_frames.reset();
    listen(m_image, m_imagePort, &StudentAgent::onImageDatagram);
    listen(m_mouse, m_mousePort, &StudentAgent::onMouseDatagram);
}

void StudentAgent::stopDemonstration()
{
    if (!m_demonstrating) {
        return;
    }
    m_demonstrating = false;
    release(m_image);
    if (!m_listenForBeacons) {
        release(m_mouse);
    }
    emit report(QStringLiteral("FRAMES decoded=%1 failed=%2")
                    .arg(m_frames.decoded())
                    .arg(m_frames.failed()));
}

bool StudentAgent::listen(Listener &listener, quint16 port,
                          void (StudentAgent::*handler)(const QByteArray &))
{
    if (listener.hub) {
        return true;
    }
    QString error;
    listener.hub = DatagramHub::acquire(port, &error);
    if (!listener.hub) {
        emit report(QStringLiteral("ERROR cannot listen on UDP port %1: %2").arg(port).arg(error));
        return false;
    }
    listener.connection =
        connect(listener.hub.get(), &DatagramHub::datagramReceived, this,
                [this, handler](const QByteArray &data) { (this->*handler)(data); });
    return true;
}

void StudentAgent::release(Listener &listener)
{
    QObject::disconnect(listener.connection);
    listener.hub.reset();
}

void StudentAgent::onImageDatagram(const QByteArray &data)
{
    const int decodedBefore = m_frames.decoded();
    if (const std::optional<QByteArray> frame = m_frames.add(data)) {
        emit frameAssembled(*frame, m_frames.decoded() > decodedBefore);
    }
}

void StudentAgent::onMouseDatagram(const QByteArray &data)
{
    const MouseDatagram datagram = MouseDatagram::parse(data);
    if (datagram.kind == MouseDatagram::Kind::Cursor) {
        m_lastCursor = datagram;
        emit cursorReceived(datagram);
    } else if (datagram.kind == MouseDatagram::Kind::Beacon) {
        if (m_beaconName != datagram.name) {
            emit report(QStringLiteral("BEACON ") +
                        ReportFormat::escapeText(cp936::decode(datagram.name)));
        }
        m_beaconName = datagram.name;
        emit beaconReceived(cp936::decode(datagram.name));
    }
}
