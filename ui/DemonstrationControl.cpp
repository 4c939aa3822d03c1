#include "ui/DemonstrationControl.h"

#include "classroom/CommandChannel.h"
#include "classroom/Demonstration.h"
#include "classroom/FrameSource.h"
#include "classroom/RosterModel.h"
#include "net/TUDPEndpoint.h"
#include "protocol/Commands.h"
#include "protocol/Datagrams.h"
#include "system/Guard.h"
#include "ui/Prompter.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include <utility>

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

// An empty list refuses only the start, so a demonstration whose last student left can still
// end; the monitor window must be closed in both directions.
void DemonstrationControl::SpeedButton1Click()
{
    const bool starting = m_ui.SpeedButton1->text() == kDemoIdle;
    if (starting && m_roster.rowCount() == 0) {
        Prompter::current().message(kDemoEmpty);
        return;
    }
    if (m_monitorWindow.isVisible()) {
        Prompter::current().message(kCloseMonitorFirst);
        return;
    }
    if (starting)
        start();
    else
        stop();
}

// A screen that cannot be captured at all is refused here, before anything is sent; its
// message goes to the error box.
void DemonstrationControl::start()
{
    m_demonstration.prepare();
    m_ui.SpeedButton1->setText(kDemoActive);
    m_enableOthers(m_ui.SpeedButton1, false);
    m_channel.SendToAll(command::Image);
    m_demonstration.abandonFrame();
    m_screenTimer.start();
    // Every console window leaves the screen being shown, and comes back at the end.
    m_minimised.clear();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        m_minimised.append({QPointer<QWidget>(window), window->windowState()});
        window->showMinimized();
    }
}

void DemonstrationControl::stop()
{
    m_ui.SpeedButton1->setText(kDemoIdle);
    m_enableOthers(m_ui.SpeedButton1, true);
    m_screenTimer.stop();
    m_channel.SendToAll(command::Stop);
    for (const auto &[window, state] : std::as_const(m_minimised)) {
        if (window && window->isMinimized())
            window->setWindowState(state & ~Qt::WindowMinimized);
    }
    m_minimised.clear();
}

// A failure here would come back at every tick, 100 times a second: the demonstration ends
// as its stop ends it, and the guard shows the one failure.
void DemonstrationControl::ScreenTimerTimer()
{
    try {
        sendTick();
    } catch (...) {
        stop();
        throw;
    }
}

void DemonstrationControl::sendTick()
{
    const QPoint pointer = pointerOnPrimaryScreen();
    datagram::CursorText cursor;
    const int length = datagram::cursor(cursor, kDefaultCursor, pointer.x(), pointer.y());
    m_mouseEndpoint.SendDatagram(cursor.data(), length);
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
