#include "ui/Tfrm_main.h"

#include "classroom/ClassroomSession.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenFrameSource.h"
#include "system/AppError.h"
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
const QString kWakeSent = QString::fromUtf8("已向 %1 台未连接的学生机发送开机信号");
const QString kWakeNobody = QString::fromUtf8("没有要开机的学生机：没有记住网卡地址的未连接学生机");
const QString kWakeNoNetwork = QString::fromUtf8("未找到网络，无法发送开机信号");
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

    m_ui = MainWindowLayout::build(this);
    if (!m_options.frameSource)
        m_options.frameSource = std::make_shared<ScreenFrameSource>();
    m_session = new ClassroomSession(m_options.frameSource, this);
    connectHandlers();
    FormCreate();

    m_frmSetup = new Tfrm_setup(m_session->settings(), m_options, this);
    m_formClient = new TForm_client(this);
    m_formShowMess = new TForm_ShowMess(this);
    new RosterViews(m_ui, *m_session, this);
    new StudentCommands(m_ui, *m_session, *m_formShowMess, this);
    new DemonstrationControl(m_ui, *m_session, m_options.frameSource, *m_formClient, this);
    new MonitorControl(m_ui, *m_session, *m_formClient, this);
}

Tfrm_main::~Tfrm_main()
{
    exit_release::disarm();
}

void Tfrm_main::connectHandlers()
{
    connect(m_session, &ClassroomSession::studentJoined, this,
            &Tfrm_main::ServerSocket1ClientConnect);
    connect(m_session, &ClassroomSession::studentLeft, this,
            &Tfrm_main::ServerSocket1ClientDisconnect);
    connect(m_session, &ClassroomSession::addressChanged, this, &Tfrm_main::showAddress);
    connect(m_session, &ClassroomSession::acceptNotice, m_ui.StatusPanel[2], &QLabel::setText);
    connect(m_session, &ClassroomSession::studentNotice, m_ui.StatusPanel[2], &QLabel::setText);
    connect(m_session, &ClassroomSession::streamFailed, m_ui.StatusPanel[2], &QLabel::setText);
    connect(m_session, &ClassroomSession::modeChanged, this, &Tfrm_main::showMode);

    connect(m_session->Timer1(), &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
    connect(m_ui.SpeedButton4, &QToolButton::clicked, this,
            guarded([this] { SpeedButton4Click(); }));
    connect(m_ui.SpeedButton5, &QToolButton::clicked, this,
            guarded([this] { SpeedButton5Click(); }));
    connect(m_ui.N1, &QAction::triggered, this, guarded([this] { N1Click(); }));
    connect(m_ui.N2, &QAction::triggered, this, guarded([this] { N2Click(); }));
    connect(m_ui.N3, &QAction::triggered, this, guarded([this] { N3Click(); }));
    connect(m_ui.N15, &QAction::triggered, this, guarded([this] { N15Click(); }));
}

// The session has looked the console's name and address up and started Timer1.
void Tfrm_main::FormCreate()
{
    showAddress(m_session->identity().LocalIP);
}

void Tfrm_main::showAddress(const QString &localIP)
{
    m_ui.StatusPanel[1]->setText(kAddressLabel + (localIP.isEmpty() ? kNoNetwork : localIP));
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
    const std::optional<ConsoleKey> key = consoleKey();
    m_frmSetup->setFingerprint(key ? key->fingerprint : QString());
    m_session->open(
        ConsoleSettings::read(m_options.settingsDefaults + QStringList{m_options.settingsPath}),
        key, m_options.dataFolder);
    m_ui.StatusPanel[2]->setText(QStringLiteral("Velmora"));
    // Should the process end under the console, students are not left locked or frozen.
    exit_release::arm([this] {
        eventlog::error(kEndedUnderTheConsole);
        m_session->releaseStudents();
    });
}

// Without its key the console serves plaintext students only, and says why.
std::optional<ConsoleKey> Tfrm_main::consoleKey() const
{
    if (m_options.dataFolder.isEmpty())
        return std::nullopt;
    try {
        return ConsoleKey::loadOrCreate(m_options.adminKeyFolder, m_options.dataFolder);
    } catch (const AppError &failure) {
        eventlog::error(failure.message());
        m_ui.StatusPanel[2]->setText(failure.message());
        return std::nullopt;
    }
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
    exit_release::disarm();
    m_session->close();
    m_formClient->hide();
    QCoreApplication::quit();
}

void Tfrm_main::ServerSocket1ClientConnect(quint64, const QString &countText)
{
    m_ui.StatusPanel[0]->setText(countText);
}

void Tfrm_main::ServerSocket1ClientDisconnect(quint64, const QString &countText)
{
    m_ui.StatusPanel[0]->setText(countText);
}

void Tfrm_main::showMode(ClassroomSession::Mode mode)
{
    using Mode = ClassroomSession::Mode;
    const QToolButton *running = mode == Mode::Demonstrating ? m_ui.SpeedButton1
                                 : mode == Mode::BlackedOut  ? m_ui.SpeedButton3
                                 : mode == Mode::Rotating    ? m_ui.SpeedButton2
                                                             : nullptr;
    for (QToolButton *button : {m_ui.SpeedButton1, m_ui.SpeedButton2, m_ui.SpeedButton3,
                                m_ui.SpeedButton4, m_ui.SpeedButton5})
        button->setEnabled(!running || button == running);
}

void Tfrm_main::Timer1Timer()
{
    m_session->sendBeacon();
}

void Tfrm_main::SpeedButton4Click()
{
    if (m_session->rosterModel().rowCount() == 0) {
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

// The outcome goes to the status bar: a computer takes a minute to start, and the teacher
// should not have to dismiss a box to go on meanwhile.
void Tfrm_main::N15Click()
{
    const std::optional<int> woken = m_session->wakeComputers();
    m_ui.StatusPanel[2]->setText(!woken        ? kWakeNoNetwork
                                 : *woken == 0 ? kWakeNobody
                                               : kWakeSent.arg(*woken));
}

void Tfrm_main::N3Click()
{
    Prompter::current().message(kCredit);
}
