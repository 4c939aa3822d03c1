#include "ui/DemonstrationControl.h"

#include "classroom/FrameSource.h"
#include "classroom/RosterModel.h"
#include "system/Guard.h"
#include "ui/Prompter.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace {
const QString kDemoIdle = QString::fromUtf8("教师演示");
const QString kDemoActive = QString::fromUtf8("停止演示");
const QString kDemoEmpty = QString::fromUtf8("现在还没有学生机登录，不能演示");
const QString kCloseMonitorFirst = QString::fromUtf8("请把监视窗口关闭!");
const QString kSelectFirst = QString::fromUtf8("请先在学生列表中选定要演示的学生");
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
    const auto choice = [this](QAction *action, bool windowed, bool selectedOnly) {
        connect(action, &QAction::triggered, this, [this, windowed, selectedOnly] {
            guard::run([&] { startFor(windowed, selectedOnly); });
        });
    };
    choice(ui.DemoFullAll, false, false);
    choice(ui.DemoWindowAll, true, false);
    choice(ui.DemoFullSelected, false, true);
    choice(ui.DemoWindowSelected, true, true);
    connect(&session, &ClassroomSession::modeChanged, this, &DemonstrationControl::showMode);
}

// An empty list refuses only the start, so a demonstration whose last student left can still
// end; the monitor window must be closed in both directions, except to stop a student's
// demonstration, which shows there. A screen that cannot be captured at all is refused by the
// start, before anything is sent; its message goes to the error box.
void DemonstrationControl::SpeedButton1Click()
{
    if (m_session.mode() != ClassroomSession::Mode::Demonstrating) {
        if (mayStart())
            m_session.startDemonstration();
        return;
    }
    if (m_monitorWindow.isVisible() && m_session.presenter() == 0) {
        Prompter::current().message(kCloseMonitorFirst);
        return;
    }
    m_session.stopDemonstration();
}

bool DemonstrationControl::mayStart() const
{
    if (m_session.rosterModel().rowCount() == 0) {
        Prompter::current().message(kDemoEmpty);
        return false;
    }
    if (m_monitorWindow.isVisible()) {
        Prompter::current().message(kCloseMonitorFirst);
        return false;
    }
    return true;
}

// The students are read from the roster at the moment of the start.
void DemonstrationControl::startFor(bool windowed, bool selectedOnly)
{
    if (m_session.mode() != ClassroomSession::Mode::Idle || !mayStart())
        return;
    ClassroomSession::Audience audience;
    audience.windowed = windowed;
    audience.everyone = !selectedOnly;
    if (selectedOnly) {
        for (const int row : m_ui.selectedRows())
            audience.students.append(m_session.rosterModel().key(row));
        if (audience.students.isEmpty()) {
            Prompter::current().message(kSelectFirst);
            return;
        }
    }
    m_session.startDemonstration(audience);
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
    for (QAction *choice : m_ui.DemoMenu->actions())
        choice->setEnabled(mode == ClassroomSession::Mode::Idle);
    for (const auto &[window, state] : std::as_const(m_minimised)) {
        if (window && window->isMinimized())
            window->setWindowState(state & ~Qt::WindowMinimized);
    }
    m_minimised.clear();
    // A student's screen is shown from the monitor window, which the teacher keeps in view.
    if (!demonstrating || m_session.presenter() != 0)
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
