#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "classroom/ClassroomSession.h"
#include "ui/MainWindowLayout.h"

class FrameSource;

// The teacher demonstration's toolbar button, its menu of choices (in a window, to the selected
// students) and the handler of its 10 ms tick, which hands the session the pointer; every
// console window leaves the screen while the teacher's screen is shown.
class DemonstrationControl : public QObject
{
    Q_OBJECT

public:
    // frames are the session's too: they tell where the pointer is when they can.
    DemonstrationControl(const MainWindowLayout &ui, ClassroomSession &session,
                         std::shared_ptr<FrameSource> frames, const QWidget &monitorWindow,
                         QObject *parent = nullptr);

    void SpeedButton1Click();
    void ScreenTimerTimer();
    // A choice of the button's menu.
    void startFor(bool windowed, bool selectedOnly);

private:
    // The guards of a start: students there, the monitor window closed.
    bool mayStart() const;
    void showMode(ClassroomSession::Mode mode);
    QPoint pointerOnPrimaryScreen() const;

    const MainWindowLayout &m_ui;
    ClassroomSession &m_session;
    std::shared_ptr<FrameSource> m_frames;
    const QWidget &m_monitorWindow;
    // The windows minimised at the start, with the state each goes back to.
    QList<QPair<QPointer<QWidget>, Qt::WindowStates>> m_minimised;
};
