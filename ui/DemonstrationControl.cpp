#include "ui/DemonstrationControl.h"

#include "classroom/FrameSource.h"
#include "classroom/RosterModel.h"
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
} // namespace

DemonstrationControl::DemonstrationControl(const MainWindowLayout &ui, ClassroomSession &session,
                                           std::shared_ptr<FrameSource> frames,
                                           const QWidget &monitorWindow, QObject *parent)
    : QObject(parent), m_ui(ui), m_session(session), m_frames(std::move(frames)),
      m_monitorWindow(monitorWindow)
{
    connect(ui.SpeedButton1, &QToolButton::clicked, this,
            [this] { guard::run([this] { SpeedButton1Click(); }); });
    connect(session.ScreenTimer(), &QTimer::timeout, this,
            [this] { guard::run([this] { ScreenTimerTimer(); }); });
    connect(&session, &ClassroomSession::modeChanged, this, &DemonstrationControl::showMode);
}

// An empty list refuses only the start, so a demonstration whose last student left can still
// end; the monitor window must be closed in both directions. A screen that cannot be captured
// at all is refused by the start, before anything is sent; its message goes to the error box.
void DemonstrationControl::SpeedButton1Click()
{
    const bool starting = m_session.mode() != ClassroomSession::Mode::Demonstrating;
    if (starting && m_session.rosterModel().rowCount() == 0) {
        Prompter::current().message(kDemoEmpty);
        return;
    }
    if (m_monitorWindow.isVisible()) {
        Prompter::current().message(kCloseMonitorFirst);
        return;
    }
    if (starting)
        m_session.startDemonstration();
    else
        m_session.stopDemonstration();
}

void DemonstrationControl::ScreenTimerTimer()
{
    m_session.sendDemonstrationTick(pointerOnPrimaryScreen());
}

// Every console window leaves the screen being shown, and comes back at the end, however the
// demonstration ended.
void DemonstrationControl::showMode(ClassroomSession::Mode mode)
{
    const bool demonstrating = mode == ClassroomSession::Mode::Demonstrating;
    m_ui.SpeedButton1->setText(demonstrating ? kDemoActive : kDemoIdle);
    for (const auto &[window, state] : std::as_const(m_minimised)) {
        if (window && window->isMinimized())
            window->setWindowState(state & ~Qt::WindowMinimized);
    }
    m_minimised.clear();
    if (!demonstrating)
        return;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        m_minimised.append({QPointer<QWidget>(window), window->windowState()});
        window->showMinimized();
    }
}

// Students draw the pointer over the frame, so it travels in the frame's own pixels: the
// capture's connection gives them in one round trip. Qt's position is in logical pixels, which
// differ at any scale factor but 1.
QPoint DemonstrationControl::pointerOnPrimaryScreen() const
{
    if (const std::optional<QPoint> physical = m_frames->pointerPosition())
        return *physical;
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return QCursor::pos();
    const QPointF logical = QCursor::pos() - primary->geometry().topLeft();
    return (logical * primary->devicePixelRatio()).toPoint();
}
