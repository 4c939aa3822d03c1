#include "classroom/ClassroomSession.h"

#include "classroom/AgentChannel.h"
#include "classroom/BlackOut.h"
#include "classroom/ChannelTileFeed.h"
#include "classroom/CommandChannel.h"
#include "classroom/DatagramTileFeed.h"
#include "classroom/Demonstration.h"
#include "classroom/Monitoring.h"
#include "classroom/Roster.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenRequests.h"
#include "classroom/ScreenWall.h"
#include "classroom/StreamSender.h"
#include "classroom/WakeOnLan.h"
#include "net/ChannelServer.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerSocket.h"
#include "net/TUDPEndpoint.h"
#include "protocol/Commands.h"
#include "protocol/Datagrams.h"
#include "protocol/Ports.h"
#include "system/EventLog.h"

#include <QTimer>

namespace {
constexpr qint32 kMaxPort = 65535;
constexpr char kComputersFile[] = "computers";
const QString kChannelDown = QString::fromUtf8("可信通道未能打开（%1），仅接受明文连接的学生机");
// The screen wall's students send their screens to the mouse port at about the same moments:
// a class's frames must fit while the window's thread is busy for a moment.
constexpr int kMousePortBuffer = 4 * 1024 * 1024;
} // namespace

ClassroomSession::ClassroomSession(std::shared_ptr<FrameSource> frames, QObject *parent)
    : QObject(parent), m_frames(std::move(frames))
{
    createComponents();
    m_rosterModel = new RosterModel(this);
    m_demonstration =
        std::make_unique<Demonstration>(m_comUdp, m_frames.get(), m_settings.ImageQuality);
    m_roster = std::make_unique<Roster>(m_rosterModel, [this] { m_demonstration->abandonFrame(); });
    m_channel = std::make_unique<CommandChannel>(m_serverSocket->Socket(), m_rosterModel);
    m_blackOut = std::make_unique<BlackOut>(*m_channel, *m_rosterModel);
    m_screenRequests = std::make_unique<ScreenRequests>(*m_channel);
    const auto isOwnAddress = [this](const QString &fromIP) {
        return m_ownAddresses.contains(fromIP);
    };
    m_monitoring = std::make_unique<Monitoring>(*m_screenRequests, isOwnAddress);
    m_datagramTiles = std::make_unique<DatagramTileFeed>(*m_screenRequests, isOwnAddress);
    m_agents = std::make_unique<AgentChannel>(*m_roster, *m_rosterModel);
    m_channel->addLinks(m_agents.get());
    m_channelTiles = std::make_unique<ChannelTileFeed>(*m_agents);
    // Every student can be reached over its command connection: that feed comes last.
    m_wall = std::make_unique<ScreenWall>(*m_rosterModel);
    m_wall->addFeed(m_channelTiles.get());
    m_wall->addFeed(m_datagramTiles.get());
    m_class = std::make_unique<ClassDemonstration>(
        ClassDemonstration::Parts{*m_demonstration, *m_channel, *m_agents, *m_monitoring,
                                  *m_mouseUdp, m_settings, *m_frames},
        this);
    m_wake = std::make_unique<WakeOnLan>(*m_rosterModel, QString());
    connectParts();
    m_identity = Identity::lookUp();
    applyIdentity();
    m_timer1->start();
}

ClassroomSession::~ClassroomSession() = default;

void ClassroomSession::createComponents()
{
    m_serverSocket = new TServerSocket(this);
    m_serverSocket->setObjectName(QStringLiteral("ServerSocket1"));
    m_comUdp = new TUDPEndpoint(this);
    m_comUdp->setObjectName(QStringLiteral("ComUdp"));
    m_comUdp->setRemotePort(ports::kImagePort);
    m_comUdp->setLocalPort(ports::kImagePort);
    m_mouseUdp = new TUDPEndpoint(this);
    m_mouseUdp->setObjectName(QStringLiteral("MouseUDP"));
    m_mouseUdp->setReceiveBuffer(kMousePortBuffer);
    m_mouseUdp->setRemotePort(ports::kMousePort);
    m_mouseUdp->setLocalPort(ports::kMousePort);

    m_screenTimer = new QTimer(this);
    m_screenTimer->setObjectName(QStringLiteral("ScreenTimer"));
    m_screenTimer->setInterval(ClassDemonstration::kTickMs);
    m_screenTimer->setTimerType(Qt::PreciseTimer);
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(5000);
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(10000);
}

// A monitored datagram goes from the endpoint to monitoring, and its picture from there out of
// the session: nothing calls back into the endpoint.
void ClassroomSession::connectParts()
{
    TServerWinSocket *server = m_serverSocket->Socket();
    Roster *roster = m_roster.get();
    connect(server, &TServerWinSocket::clientConnect, roster, &Roster::clientConnected);
    connect(server, &TServerWinSocket::clientDisconnect, roster, &Roster::clientDisconnected);
    connect(server, &TServerWinSocket::clientError, roster, &Roster::clientFailed);
    connect(server, &TServerWinSocket::acceptNotice, this, &ClassroomSession::acceptNotice);
    connect(roster, &Roster::studentJoined, this, &ClassroomSession::studentJoined);
    connect(roster, &Roster::studentLeft, this, &ClassroomSession::studentLeft);
    connect(m_mouseUdp, &TUDPEndpoint::dataReceived, m_monitoring.get(),
            &Monitoring::datagramReceived);
    connect(m_monitoring.get(), &Monitoring::pictureChanged, this,
            [this] { emit pictureChanged(m_monitoring->picture()); });
    connect(m_mouseUdp, &TUDPEndpoint::dataReceived, m_datagramTiles.get(),
            &DatagramTileFeed::datagramReceived);
    connect(m_wall.get(), &ScreenWall::pictureChanged, this, &ClassroomSession::tilePictureChanged);
    connect(roster, &Roster::studentJoined, this,
            [this](quint64 key) { m_wake->studentJoined(key); });
    connect(roster, &Roster::studentLeft, this, [this](quint64 key) { m_wake->studentLeft(key); });
    connect(m_agents.get(), &AgentChannel::agentSeen, this,
            [this](quint64 key, const QByteArray &mac, quint32 address, const QByteArray &name) {
                m_wake->agentSeen(key, mac, address, name);
            });
    connect(m_agents.get(), &AgentChannel::notice, this, &ClassroomSession::studentNotice);
    // The files the student sends go on to the class only while that student presents.
    connect(m_monitoring.get(), &Monitoring::fileArrived, m_class.get(),
            &ClassDemonstration::offerFile);
    connect(roster, &Roster::studentLeft, this, &ClassroomSession::studentGone);
    connect(m_class.get(), &ClassDemonstration::streamFailed, this,
            &ClassroomSession::streamFailed);
    connect(m_class.get(), &ClassDemonstration::keyChanged, this,
            [this] { emit demonstrationKeyChanged(m_demonstration->streamKey()); });
}

void ClassroomSession::open(const ConsoleSettings &settings, const std::optional<ConsoleKey> &key,
                            const QString &dataFolder)
{
    m_settings = settings;
    if (!dataFolder.isEmpty())
        m_wake = std::make_unique<WakeOnLan>(*m_rosterModel,
                                             dataFolder + QLatin1Char('/') + kComputersFile);
    m_comUdp->setLocalPort(m_settings.ImagePort);
    m_comUdp->setRemotePort(m_settings.ImagePort);
    m_mouseUdp->setLocalPort(m_settings.MousePort);
    m_mouseUdp->setRemotePort(m_settings.MousePort);
    m_serverSocket->setPort(m_settings.CommandPort);
    m_serverSocket->setActive(true);
    if (key)
        openChannel(*key);
}

// The channel adds to the command port and never takes its place: a console whose channel
// cannot open still serves every plaintext student.
void ClassroomSession::openChannel(const ConsoleKey &key)
{
    // The welcome names the stream's port; 0 where the console sends no stream.
    const bool streams = m_settings.StreamPort >= 1 && m_settings.StreamPort <= kMaxPort;
    m_agents->setStreamPort(streams ? quint16(m_settings.StreamPort) : 0);
    try {
        m_agents->open(m_settings.AgentPort, key);
    } catch (const std::exception &failure) {
        const QString why = QString::fromUtf8(failure.what());
        eventlog::error(QStringLiteral("the trusted channel cannot open on TCP port %1: %2")
                            .arg(m_settings.AgentPort)
                            .arg(why));
        emit studentNotice(kChannelDown.arg(why));
    }
}

ChannelServer *ClassroomSession::agentServer() const
{
    return m_agents->server();
}

std::optional<int> ClassroomSession::wakeComputers()
{
    if (m_identity.refresh()) {
        applyIdentity();
        emit addressChanged(m_identity.LocalIP);
    }
    if (m_identity.LocalIP.isEmpty())
        return std::nullopt;
    return m_wake->wakeAll(m_identity.BroadcastHost);
}

void ClassroomSession::releaseStudents()
{
    m_class->streamSender().stop();
    m_blackOut->releaseAll();
    SendToAll(command::Stop);
    m_channel->sendHeldNow();
}

void ClassroomSession::close()
{
    releaseStudents();
    TServerWinSocket *server = m_serverSocket->Socket();
    const int count = server->ConnectionCount();
    for (int i = 0; i < count; ++i) {
        TServerClientWinSocket *connection = server->ConnectionAt(i);
        if (connection->IsOpen())
            connection->CloseConnection();
    }
    m_agents->close();
    m_wake->save();
    // Nothing may arrive after this point: the timers and endpoints stop before anything they
    // feed is released.
    m_screenTimer->stop();
    m_timer1->stop();
    m_timer2->stop();
    m_class->streamSender().stop();
    m_comUdp->Close();
    m_mouseUdp->Close();
    disconnect(server, &TServerWinSocket::clientConnect, nullptr, nullptr);
    m_demonstration->abandonFrame();
    m_monitoring->clearStream();
    m_wall->hide();
}

QString ClassroomSession::BroadcastHost() const
{
    return m_comUdp->RemoteHost();
}

void ClassroomSession::applyIdentity()
{
    m_comUdp->setRemoteHost(m_identity.BroadcastHost);
    m_mouseUdp->setRemoteHost(m_identity.BroadcastHost);
}

void ClassroomSession::SendToAll(const QByteArray &text) const
{
    m_channel->SendToAll(text);
}

void ClassroomSession::SendToRow(int index, const QByteArray &text) const
{
    m_channel->SendToRow(index, text);
}

void ClassroomSession::SendToKey(quint64 key, const QByteArray &text) const
{
    m_channel->SendToKey(key, text);
}

void ClassroomSession::sortByColumn(int column)
{
    m_roster->sortByColumn(column);
}

void ClassroomSession::toggleBlackOut(int row)
{
    m_blackOut->toggle(row);
}

// Liveness needs nothing here: keep-alive on every connection ends a vanished student's
// connection through the error handling.
void ClassroomSession::sendBeacon()
{
    if (m_identity.refresh()) {
        applyIdentity();
        emit addressChanged(m_identity.LocalIP);
    }
    if (m_identity.LocalIP.isEmpty())
        return;
    const QByteArray beacon = datagram::beacon(m_identity.LocalComputerName);
    m_mouseUdp->SendDatagram(beacon.constData(), int(beacon.size()));
}

void ClassroomSession::setMode(Mode mode)
{
    m_mode = mode;
    emit modeChanged(mode);
}

void ClassroomSession::startDemonstration(const Audience &audience)
{
    if (m_mode != Mode::Idle)
        return;
    m_class->start(audience, BroadcastHost());
    m_screenTimer->start();
    setMode(Mode::Demonstrating);
}

void ClassroomSession::startDemonstration()
{
    startDemonstration(Audience());
}

bool ClassroomSession::startStudentDemonstration(quint64 presenter)
{
    if (m_mode != Mode::Idle || m_rosterModel->rowOfKey(presenter) < 0)
        return false;
    if (!m_monitoring->watches(presenter))
        monitorStudent(presenter);
    QList<quint64> others;
    for (int row = 0; row < m_rosterModel->rowCount(); ++row) {
        if (m_rosterModel->key(row) != presenter)
            others.append(m_rosterModel->key(row));
    }
    m_class->startStudent(presenter, others, BroadcastHost());
    m_screenTimer->start();
    setMode(Mode::Demonstrating);
    return true;
}

void ClassroomSession::stopDemonstration()
{
    if (m_mode != Mode::Demonstrating)
        return;
    m_screenTimer->stop();
    m_class->stop();
    setMode(Mode::Idle);
}

// A presenter who leaves has nothing more to show.
void ClassroomSession::studentGone(quint64 key)
{
    if (key != 0 && key == m_class->presenter())
        stopDemonstration();
}

void ClassroomSession::sendDemonstrationTick(QPoint pointer)
{
    try {
        m_class->tick(pointer);
    } catch (...) {
        stopDemonstration();
        throw;
    }
}

void ClassroomSession::setBlackOutAll(bool on)
{
    if (m_mode != (on ? Mode::Idle : Mode::BlackedOut))
        return;
    m_blackOut->setAll(on);
    setMode(on ? Mode::BlackedOut : Mode::Idle);
}

void ClassroomSession::startRotation()
{
    if (m_mode != Mode::Idle)
        return;
    m_timer2->start();
    setMode(Mode::Rotating);
}

void ClassroomSession::stopRotation()
{
    if (m_mode != Mode::Rotating)
        return;
    m_timer2->stop();
    setMode(Mode::Idle);
}

void ClassroomSession::monitorNextStudent()
{
    try {
        m_monitoring->switchToNext();
    } catch (...) {
        stopRotation();
        throw;
    }
    emit monitoredStudentChanged();
}

void ClassroomSession::monitorStudent(quint64 key)
{
    m_monitoring->switchTo(key);
    emit monitoredStudentChanged();
}

void ClassroomSession::stopWatching()
{
    m_monitoring->endWatching();
}

int ClassroomSession::MonitorIndex() const
{
    return m_monitoring->MonitorIndex();
}

void ClassroomSession::setPictureSize(int width, int height)
{
    m_monitoring->setPictureSize(width, height);
}

void ClassroomSession::showWall()
{
    m_wall->show();
}

void ClassroomSession::hideWall()
{
    m_wall->hide();
}

void ClassroomSession::setTileSize(int width, int height)
{
    m_wall->setTileSize(width, height);
}
