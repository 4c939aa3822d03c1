#include "ui/Tfrm_main.h"

#include "classroom/CommandChannel.h"
#include "classroom/Demonstration.h"
#include "classroom/Monitoring.h"
#include "classroom/Roster.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenFrameSource.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerSocket.h"
#include "net/TUDPEndpoint.h"
#include "protocol/Commands.h"
#include "protocol/Datagrams.h"
#include "system/EventLog.h"
#include "system/Guard.h"
#include "ui/DemonstrationControl.h"
#include "ui/ExitRelease.h"
#include "ui/MonitorControl.h"
#include "ui/Prompter.h"
#include "ui/RosterViews.h"
#include "ui/StudentCommands.h"
#include "ui/TForm_ShowMess.h"
#include "ui/TForm_client.h"
#include "ui/Tfrm_setup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace {
const QString kCaption = QString::fromUtf8("[Velmora多媒体网络教室教师机]  - V1.0");
const QString kCredit = QString::fromUtf8("Velmora多媒体网络教室 V1.0\nVelmora 教学软件开发组");
const QString kRemoteControlEmpty = QString::fromUtf8("现在还没有学生机登录，不能远程控制");
const QString kAddressLabel = QString::fromUtf8("本机IP地址：");
const QString kNoNetwork = QString::fromUtf8("未找到网络");
const QString kNoGuide = QString::fromUtf8("找不到使用说明文件 readme.txt，请重新安装教师机。");
const QString kEndedUnderTheConsole =
    QString::fromUtf8("教师机意外结束（与显示器的连接已断开？）：已通知学生机停止演示并解除黑屏。");
const QString kGuideNotOpened =
    QString::fromUtf8("无法打开使用说明 %1：没有可以打开文本文件的程序。");

// Every handler entry point goes through the guard, so no exception unwinds into Qt.
template <typename F> auto guarded(F handler)
{
    return [handler](auto &&...) { guard::run(handler); };
}
} // namespace

Tfrm_main::Tfrm_main(const ConsoleOptions &options, QWidget *parent)
    : QMainWindow(parent), m_options(options)
{
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(kCaption);
    setGeometry(196, 110, 580, 432);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    createComponents();
    m_ui = MainWindowLayout::build(this);
    m_rosterModel = new RosterModel(this);
    if (!m_options.frameSource)
        m_options.frameSource = std::make_shared<ScreenFrameSource>();
    m_demonstration = std::make_unique<Demonstration>(m_comUdp, m_options.frameSource.get(),
                                                      m_settings.ImageQuality);
    m_roster = std::make_unique<Roster>(m_rosterModel, [this] { m_demonstration->abandonFrame(); });
    m_channel = std::make_unique<CommandChannel>(m_serverSocket->Socket(), m_rosterModel);
    m_monitoring = std::make_unique<Monitoring>(
        *m_channel, [this](const QString &fromIP) { return m_ownAddresses.contains(fromIP); });
    connectHandlers();
    FormCreate();

    m_frmSetup = new Tfrm_setup(m_settings, m_options, this);
    m_formClient = new TForm_client(this);
    m_formShowMess = new TForm_ShowMess(this);
    const ButtonsEnabler enableOthers = [this](const QToolButton *running, bool enabled) {
        setOtherButtonsEnabled(running, enabled);
    };
    new RosterViews(m_ui, *m_rosterModel, *m_roster, this);
    m_studentCommands =
        new StudentCommands(m_ui, *m_channel, *m_rosterModel, *m_formShowMess, enableOthers, this);
    new DemonstrationControl(m_ui, *m_demonstration, *m_channel, *m_rosterModel, *m_formClient,
                             *m_mouseUdp, *m_screenTimer, enableOthers, this);
    new MonitorControl(m_ui, *m_monitoring, *m_rosterModel, *m_formClient, *m_timer2, enableOthers,
                       this);
}

Tfrm_main::~Tfrm_main()
{
    exit_release::disarm();
}

void Tfrm_main::createComponents()
{
    m_serverSocket = new TServerSocket(this);
    m_serverSocket->setObjectName(QStringLiteral("ServerSocket1"));
    m_comUdp = new TUDPEndpoint(this);
    m_comUdp->setObjectName(QStringLiteral("ComUdp"));
    m_comUdp->setRemotePort(5650);
    m_comUdp->setLocalPort(5650);
    m_mouseUdp = new TUDPEndpoint(this);
    m_mouseUdp->setObjectName(QStringLiteral("MouseUDP"));
    m_mouseUdp->setRemotePort(5651);
    m_mouseUdp->setLocalPort(5651);

    m_screenTimer = new QTimer(this);
    m_screenTimer->setObjectName(QStringLiteral("ScreenTimer"));
    m_screenTimer->setInterval(10);
    m_screenTimer->setTimerType(Qt::PreciseTimer);
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(5000);
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(10000);
}

void Tfrm_main::connectHandlers()
{
    TServerWinSocket *server = m_serverSocket->Socket();
    server->OnClientConnect = [this](TServerWinSocket *, TServerClientWinSocket *socket) {
        m_roster->clientConnected(socket);
    };
    server->OnClientDisconnect = [this](TServerWinSocket *, TServerClientWinSocket *socket) {
        m_roster->clientDisconnected(socket);
    };
    server->OnClientError = [this](TServerWinSocket *, TServerClientWinSocket *socket,
                                   TErrorEvent event,
                                   int &code) { m_roster->clientFailed(socket, event, code); };
    server->OnAcceptNotice = [this](TServerWinSocket *, const QString &text) {
        m_ui.StatusPanel[2]->setText(text);
    };
    m_mouseUdp->OnDataReceived = [this](TUDPEndpoint *sender, int numberBytes,
                                        const QString &fromIP,
                                        int) { MouseUDPDataReceived(sender, numberBytes, fromIP); };
    connect(m_roster.get(), &Roster::countTextChanged, this, &Tfrm_main::setCountText);

    connect(m_timer1, &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
    connect(m_ui.SpeedButton4, &QToolButton::clicked, this,
            guarded([this] { SpeedButton4Click(); }));
    connect(m_ui.SpeedButton5, &QToolButton::clicked, this,
            guarded([this] { SpeedButton5Click(); }));
    connect(m_ui.N1, &QAction::triggered, this, guarded([this] { N1Click(); }));
    connect(m_ui.N2, &QAction::triggered, this, guarded([this] { N2Click(); }));
    connect(m_ui.N3, &QAction::triggered, this, guarded([this] { N3Click(); }));
}

QString Tfrm_main::BroadcastHost() const
{
    return m_comUdp->RemoteHost();
}

void Tfrm_main::FormCreate()
{
    m_identity = Identity::lookUp();
    applyIdentity();
    m_timer1->start();
}

void Tfrm_main::applyIdentity()
{
    const QString &address = m_identity.LocalIP;
    m_ui.StatusPanel[1]->setText(kAddressLabel + (address.isEmpty() ? kNoNetwork : address));
    m_comUdp->setRemoteHost(m_identity.BroadcastHost);
    m_mouseUdp->setRemoteHost(m_identity.BroadcastHost);
}

void Tfrm_main::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    guard::run([this] { FormShow(); });
}

void Tfrm_main::FormShow()
{
    m_settings =
        ConsoleSettings::read(m_options.settingsDefaults + QStringList{m_options.settingsPath});
    m_comUdp->setLocalPort(m_settings.ImagePort);
    m_comUdp->setRemotePort(m_settings.ImagePort);
    m_mouseUdp->setLocalPort(m_settings.MousePort);
    m_mouseUdp->setRemotePort(m_settings.MousePort);
    m_serverSocket->setPort(m_settings.CommandPort);
    m_serverSocket->setActive(true);
    m_ui.StatusPanel[2]->setText(QStringLiteral("Velmora"));
    // Should the process end under the console, students are not left locked or frozen.
    exit_release::arm([this] {
        eventlog::error(kEndedUnderTheConsole);
        releaseStudents();
    });
}

void Tfrm_main::closeEvent(QCloseEvent *event)
{
    if (!m_closed)
        guard::run([this] { FormClose(); });
    event->accept();
}

// Students blacked out are set free and every demonstration or sending ends.
void Tfrm_main::releaseStudents()
{
    m_studentCommands->releaseBlackedOut();
    SendToAll(command::Stop);
    m_channel->sendHeldNow();
}

void Tfrm_main::FormClose()
{
    m_closed = true;
    exit_release::disarm();
    releaseStudents();
    TServerWinSocket *server = m_serverSocket->Socket();
    const int count = server->ConnectionCount();
    for (int i = 0; i < count; ++i) {
        TServerClientWinSocket *connection = server->ConnectionAt(i);
        if (connection->IsOpen())
            connection->CloseConnection();
    }
    // Nothing may arrive after this point: the timers and endpoints stop before anything
    // they feed is released.
    m_screenTimer->stop();
    m_timer1->stop();
    m_timer2->stop();
    m_comUdp->Close();
    m_mouseUdp->Close();
    server->OnClientConnect = nullptr;
    m_demonstration->abandonFrame();
    m_monitoring->clearStream();
    m_formClient->hide();
    QCoreApplication::quit();
}

void Tfrm_main::SendToAll(const QByteArray &text)
{
    m_channel->SendToAll(text);
}

void Tfrm_main::SendToRow(int index, const QByteArray &text)
{
    m_channel->SendToRow(index, text);
}

void Tfrm_main::setCountText(const QString &text)
{
    m_ui.StatusPanel[0]->setText(text);
}

void Tfrm_main::setOtherButtonsEnabled(const QToolButton *running, bool enabled)
{
    for (QToolButton *button : {m_ui.SpeedButton1, m_ui.SpeedButton2, m_ui.SpeedButton3,
                                m_ui.SpeedButton4, m_ui.SpeedButton5}) {
        if (button != running)
            button->setEnabled(enabled);
    }
}

// Liveness needs nothing here: keep-alive on every connection ends a vanished student's
// connection through the error handling. The address is checked at every beacon, so a network
// that comes up (or changes) after the start is used; with none the beacon is left out quietly.
void Tfrm_main::Timer1Timer()
{
    if (m_identity.refresh())
        applyIdentity();
    if (m_identity.LocalIP.isEmpty())
        return;
    const QByteArray beacon = datagram::beacon(m_identity.LocalComputerName);
    m_mouseUdp->SendDatagram(beacon.constData(), int(beacon.size()));
}

void Tfrm_main::MouseUDPDataReceived(TUDPEndpoint *sender, int numberBytes, const QString &fromIP)
{
    char datagram[TUDPEndpoint::kBufferSize];
    int length = 0;
    sender->ReadDatagram(datagram, length);
    m_monitoring->datagramReceived(numberBytes, fromIP, datagram);
}

void Tfrm_main::SpeedButton4Click()
{
    if (m_rosterModel->rowCount() == 0) {
        Prompter::current().message(kRemoteControlEmpty);
        return;
    }
    m_ui.PopupMenu2->popup(QCursor::pos());
}

void Tfrm_main::SpeedButton5Click()
{
    close();
}

void Tfrm_main::N1Click()
{
    Prompter::current().execDialog(*m_frmSetup);
}

// The desktop's own viewer shows the guide; a guide that is missing or that nothing opens is
// said, not left to look like a dead menu item.
void Tfrm_main::N2Click()
{
    const QString guide = m_options.readmePath;
    if (guide.isEmpty() || !QFileInfo(guide).isFile()) {
        eventlog::warning(kNoGuide);
        Prompter::current().message(kNoGuide);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(guide))) {
        eventlog::warning(kGuideNotOpened.arg(guide));
        Prompter::current().message(kGuideNotOpened.arg(guide));
    }
}

void Tfrm_main::bringToFront()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Tfrm_main::N3Click()
{
    Prompter::current().message(kCredit);
}
