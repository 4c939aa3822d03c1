#include "ui/Tfrm_main.h"

#include "classroom/CommandChannel.h"
#include "classroom/Commands.h"
#include "classroom/Datagrams.h"
#include "classroom/Demonstration.h"
#include "classroom/Monitoring.h"
#include "classroom/ScreenFrameSource.h"
#include "classroom/Roster.h"
#include "classroom/RosterModel.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerSocket.h"
#include "net/TUDPEndpoint.h"
#include "platform/Cp936.h"
#include "platform/Guard.h"
#include "platform/LocalAddress.h"
#include "ui/Prompter.h"
#include "ui/TForm_ShowMess.h"
#include "ui/TForm_client.h"
#include "ui/MonitorControl.h"
#include "ui/StudentMenus.h"
#include "ui/Tfrm_setup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QStackedWidget>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {
const QString kCaption = QString::fromUtf8("[Velmora多媒体网络教室教师机]  - V1.0");
const QString kDemoIdle = QString::fromUtf8("教师演示");
const QString kDemoActive = QString::fromUtf8("停止演示");
const QString kDemoEmpty = QString::fromUtf8("现在还没有学生机登录，不能演示");
const QString kCloseMonitorFirst = QString::fromUtf8("请把监视窗口关闭!");
const QString kCredit = QString::fromUtf8("Velmora多媒体网络教室 V1.0\nVelmora 教学软件开发组");
const QString kBlackOutIdle = QString::fromUtf8("全部黑屏");
const QString kBlackOutActive = QString::fromUtf8("取消黑屏");
const QString kRemoteControlEmpty = QString::fromUtf8("现在还没有学生机登录，不能远程控制");
const QString kBlackOutEmpty = QString::fromUtf8("现在还没有学生机登录，不能黑屏");
const QByteArray kYes = cp936::encode(QString::fromUtf8("是"));
const QByteArray kNo = cp936::encode(QString::fromUtf8("否"));
constexpr int kBlackOutSubItem = RosterModel::BlackOutColumn - 1;

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
    m_rosterModel->setRowImage(style()->standardIcon(QStyle::SP_ComputerIcon));
    m_ui.ListView1->setModel(m_rosterModel);
    // Both views show the same rows and the same selected row.
    m_ui.IconView->setModel(m_rosterModel);
    m_ui.IconView->setSelectionModel(m_ui.ListView1->selectionModel());
    QHeaderView *header = m_ui.ListView1->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(RosterModel::NameColumn, QHeaderView::Stretch);
    const int widths[] = {0, 120, 80, 120, 100};
    for (int column = RosterModel::AddressColumn; column < RosterModel::ColumnCount; ++column)
        header->resizeSection(column, widths[column]);
    if (!m_options.frameSource)
        m_options.frameSource = std::make_shared<ScreenFrameSource>();
    m_demonstration = std::make_unique<Demonstration>(m_comUdp, m_options.frameSource.get(),
                                                      m_settings.ImageQuality);
    m_roster = std::make_unique<Roster>(m_rosterModel, [this] {
        if (m_demonstration)
            m_demonstration->abandonFrame();
    });
    m_channel = std::make_unique<CommandChannel>(m_serverSocket->Socket(), m_rosterModel);
    m_monitoring = std::make_unique<Monitoring>(*m_channel, &localaddress::localAddress);
    connectHandlers();
    FormCreate();

    m_frmSetup = new Tfrm_setup(m_settings, m_options, this);
    m_formClient = new TForm_client(this);
    m_formShowMess = new TForm_ShowMess(this);
    new StudentMenus(m_ui, *m_channel, *m_rosterModel, *m_formShowMess, this);
    new MonitorControl(m_ui, *m_monitoring, *m_rosterModel, *m_formClient, *m_timer2,
                       [this](const QToolButton *running, bool enabled) {
                           setOtherButtonsEnabled(running, enabled);
                       },
                       this);
}

Tfrm_main::~Tfrm_main() = default;

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
                                   TErrorEvent event, int &code) {
        m_roster->clientFailed(socket, event, code);
    };
    m_mouseUdp->OnDataReceived = [this](TUDPEndpoint *sender, int numberBytes,
                                        const QString &fromIP, int) {
        MouseUDPDataReceived(sender, numberBytes, fromIP);
    };
    connect(m_roster.get(), &Roster::countTextChanged, this, &Tfrm_main::setCountText);

    connect(m_screenTimer, &QTimer::timeout, this, guarded([this] { ScreenTimerTimer(); }));
    connect(m_timer1, &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
    connect(m_ui.SpeedButton1, &QToolButton::clicked, this, guarded([this] { SpeedButton1Click(); }));
    connect(m_ui.SpeedButton3, &QToolButton::clicked, this, guarded([this] { SpeedButton3Click(); }));
    connect(m_ui.SpeedButton4, &QToolButton::clicked, this, guarded([this] { SpeedButton4Click(); }));
    connect(m_ui.SpeedButton5, &QToolButton::clicked, this, guarded([this] { SpeedButton5Click(); }));
    connect(m_ui.ListView1, &QTreeView::customContextMenuRequested, this,
            [this](const QPoint &pos) { guard::run([&] { ListView1ContextPopup(pos); }); });
    connect(m_ui.IconView, &QListView::customContextMenuRequested, this,
            [this](const QPoint &pos) { guard::run([&] { ListView1ContextPopup(pos); }); });
    connect(m_ui.N6, &QAction::triggered, this, [this] { setViewStyle(ViewStyle::vsIcon); });
    connect(m_ui.N7, &QAction::triggered, this, [this] { setViewStyle(ViewStyle::vsSmallIcon); });
    connect(m_ui.N8, &QAction::triggered, this, [this] { setViewStyle(ViewStyle::vsReport); });
    connect(m_ui.ListView1->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { guard::run([&] { ListView1ColumnClick(column); }); });
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
    m_ui.StatusPanel[1]->setText(QString::fromUtf8("本机IP地址：") + m_identity.LocalIP);
    const QString broadcast = broadcastHostFor(m_identity.LocalIP);
    m_comUdp->setRemoteHost(broadcast);
    m_mouseUdp->setRemoteHost(broadcast);
    m_timer1->start();
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
    m_settings = ConsoleSettings::read(m_options.settingsPath);
    m_comUdp->setLocalPort(m_settings.ImagePort);
    m_comUdp->setRemotePort(m_settings.ImagePort);
    m_mouseUdp->setLocalPort(m_settings.MousePort);
    m_mouseUdp->setRemotePort(m_settings.MousePort);
    m_serverSocket->setPort(m_settings.CommandPort);
    m_serverSocket->setActive(true);
    m_ui.StatusPanel[2]->setText(QStringLiteral("Velmora"));
}

void Tfrm_main::closeEvent(QCloseEvent *event)
{
    if (!m_closed)
        guard::run([this] { FormClose(); });
    event->accept();
}

void Tfrm_main::FormClose()
{
    m_closed = true;
    SendToAll(command::Stop);
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
    m_demonstration.reset();
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

void Tfrm_main::SpeedButton1Click()
{
    if (m_rosterModel->rowCount() == 0) {
        Prompter::current().message(kDemoEmpty);
        return;
    }
    if (m_formClient->isVisible()) {
        Prompter::current().message(kCloseMonitorFirst);
        return;
    }
    if (m_ui.SpeedButton1->text() == kDemoIdle) {
        m_ui.SpeedButton1->setText(kDemoActive);
        setOtherButtonsEnabled(m_ui.SpeedButton1, false);
        SendToAll(command::Image);
        m_demonstration->abandonFrame();
        m_screenTimer->start();
        // Every console window leaves the screen being shown.
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->isVisible())
                window->showMinimized();
        }
        return;
    }
    m_ui.SpeedButton1->setText(kDemoIdle);
    setOtherButtonsEnabled(m_ui.SpeedButton1, true);
    SendToAll(command::Stop);
    m_screenTimer->stop();
}

void Tfrm_main::ScreenTimerTimer()
{
    const QScreen *primary = QGuiApplication::primaryScreen();
    const QPoint origin = primary ? primary->geometry().topLeft() : QPoint();
    const QPoint pointer = QCursor::pos() - origin;
    const QByteArray cursor = datagram::cursor(0, pointer.x(), pointer.y());
    m_mouseUdp->SendDatagram(cursor.constData(), int(cursor.size()));
    m_demonstration->SendScreenChunk();
}

// Liveness needs nothing here: keep-alive on every connection ends a vanished student's
// connection through the error handling.
void Tfrm_main::Timer1Timer()
{
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

void Tfrm_main::SpeedButton3Click()
{
    if (m_rosterModel->rowCount() == 0) {
        Prompter::current().message(kBlackOutEmpty);
        return;
    }
    const bool turnOn = m_ui.SpeedButton3->text() == kBlackOutIdle;
    m_ui.SpeedButton3->setText(turnOn ? kBlackOutActive : kBlackOutIdle);
    setOtherButtonsEnabled(m_ui.SpeedButton3, !turnOn);
    SendToAll(turnOn ? command::BlackScreen : command::UnblackScreen);
    setAllBlackOut(turnOn);
}

void Tfrm_main::setAllBlackOut(bool on)
{
    const QByteArray &text = on ? kYes : kNo;
    for (int row = 0; row < m_rosterModel->rowCount(); ++row)
        m_rosterModel->setSubItem(row, kBlackOutSubItem, text);
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

void Tfrm_main::setViewStyle(ViewStyle style)
{
    if (style == ViewStyle::vsReport) {
        m_ui.RosterViews->setCurrentWidget(m_ui.ListView1);
        return;
    }
    const bool large = style == ViewStyle::vsIcon;
    m_ui.IconView->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_ui.IconView->setFlow(QListView::LeftToRight);
    m_ui.IconView->setWrapping(true);
    m_ui.IconView->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    m_ui.IconView->setGridSize(large ? QSize(96, 64) : QSize(160, 20));
    m_ui.RosterViews->setCurrentWidget(m_ui.IconView);
}

// The request comes from whichever view is shown, in its own coordinates.
void Tfrm_main::ListView1ContextPopup(const QPoint &pos)
{
    const QAbstractItemView *view = m_ui.RosterViews->currentWidget() == m_ui.IconView
                                        ? static_cast<QAbstractItemView *>(m_ui.IconView)
                                        : m_ui.ListView1;
    const QModelIndex index = view->indexAt(pos);
    if (!index.isValid())
        return;
    m_ui.PopupMenu3->popup(QCursor::pos());
}

void Tfrm_main::ListView1ColumnClick(int column)
{
    m_roster->sortByColumn(column);
}

void Tfrm_main::N1Click()
{
    Prompter::current().execDialog(*m_frmSetup);
}

// The shell's answer is not examined: the console says nothing of its own.
void Tfrm_main::N2Click()
{
    const QString directory = QFileInfo(m_options.settingsPath).absolutePath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(directory + QStringLiteral("/readme.txt")));
}

void Tfrm_main::N3Click()
{
    Prompter::current().message(kCredit);
}

