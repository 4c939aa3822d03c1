#include "ui/DemonstrationControl.h"

#include "classroom/CommandChannel.h"
#include "classroom/Commands.h"
#include "classroom/Datagrams.h"
#include "classroom/Demonstration.h"
#include "classroom/FrameSource.h"
#include "classroom/RosterModel.h"
#include "net/TUDPEndpoint.h"
#include "platform/Guard.h"
#include "ui/Prompter.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

namespace {
const QString kDemoIdle = QString::fromUtf8("教师演示");
const QString kDemoActive = QString::fromUtf8("停止演示");
const QString kDemoEmpty = QString::fromUtf8("现在还没有学生机登录，不能演示");
const QString kCloseMonitorFirst = QString::fromUtf8("请把监视窗口关闭!");
// The console never overrides the cursor, so its code is always the default's.
constexpr int kDefaultCursor = 0;
} // namespace

DemonstrationControl::DemonstrationControl(const MainWindowLayout &ui, Demonstration &demonstration,
                                           const CommandChannel &channel, const RosterModel &roster,
                                           const QWidget &monitorWindow,
                                           TUDPEndpoint &mouseEndpoint, QTimer &screenTimer,
                                           ButtonsEnabler enableOthers, QObject *parent)
    : QObject(parent), m_ui(ui), m_demonstration(demonstration), m_channel(channel),
      m_roster(roster), m_monitorWindow(monitorWindow), m_mouseEndpoint(mouseEndpoint),
      m_screenTimer(screenTimer), m_enableOthers(std::move(enableOthers))
{
    connect(ui.SpeedButton1, &QToolButton::clicked, this,
            [this] { guard::run([this] { SpeedButton1Click(); }); });
    connect(&screenTimer, &QTimer::timeout, this,
            [this] { guard::run([this] { ScreenTimerTimer(); }); });
}

void DemonstrationControl::SpeedButton1Click()
{
    if (m_roster.rowCount() == 0) {
        Prompter::current().message(kDemoEmpty);
        return;
    }
    if (m_monitorWindow.isVisible()) {
        Prompter::current().message(kCloseMonitorFirst);
        return;
    }
    if (m_ui.SpeedButton1->text() == kDemoIdle) {
        m_ui.SpeedButton1->setText(kDemoActive);
        m_enableOthers(m_ui.SpeedButton1, false);
        m_channel.SendToAll(command::Image);
        m_demonstration.abandonFrame();
        m_screenTimer.start();
        // Every console window leaves the screen being shown.
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->isVisible())
                window->showMinimized();
        }
        return;
    }
    m_ui.SpeedButton1->setText(kDemoIdle);
    m_enableOthers(m_ui.SpeedButton1, true);
    m_channel.SendToAll(command::Stop);
    m_screenTimer.stop();
}

// A failed cursor send ends the tick before its chunk; the guard shows it.
void DemonstrationControl::ScreenTimerTimer()
{
    const QPoint pointer = pointerOnPrimaryScreen();
    const QByteArray cursor = datagram::cursor(kDefaultCursor, pointer.x(), pointer.y());
    m_mouseEndpoint.SendDatagram(cursor.constData(), int(cursor.size()));
    m_demonstration.SendScreenChunk();
}

// Students draw the pointer over the frame, so it travels in the frame's own pixels: the
// capture's connection gives them in one round trip. Qt's position is in logical pixels, which
// differ at any scale factor but 1.
QPoint DemonstrationControl::pointerOnPrimaryScreen() const
{
    if (const std::optional<QPoint> physical = m_demonstration.frameSource().pointerPosition())
        return *physical;
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return QCursor::pos();
    const QPointF logical = QCursor::pos() - primary->geometry().topLeft();
    return (logical * primary->devicePixelRatio()).toPoint();
}
