#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include "ui/ButtonsEnabler.h"
#include "ui/MainWindowLayout.h"

class CommandChannel;
class Demonstration;
class QTimer;
class RosterModel;
class TUDPEndpoint;

// The teacher demonstration's toolbar mode and its 10 ms tick: the pointer position, then the
// next chunk of the screen.
class DemonstrationControl : public QObject
{
    Q_OBJECT

public:
    DemonstrationControl(const MainWindowLayout &ui, Demonstration &demonstration,
                         const CommandChannel &channel, const RosterModel &roster,
                         const QWidget &monitorWindow, TUDPEndpoint &mouseEndpoint,
                         QTimer &screenTimer, ButtonsEnabler enableOthers,
                         QObject *parent = nullptr);

    void SpeedButton1Click();
    // A tick that fails ends the demonstration before the failure goes on to the guard.
    void ScreenTimerTimer();

private:
    void start();
    void stop();
    void sendTick();
    QPoint pointerOnPrimaryScreen() const;

    const MainWindowLayout &m_ui;
    Demonstration &m_demonstration;
    const CommandChannel &m_channel;
    const RosterModel &m_roster;
    const QWidget &m_monitorWindow;
    TUDPEndpoint &m_mouseEndpoint;
    QTimer &m_screenTimer;
    ButtonsEnabler m_enableOthers;
    // The windows minimised at the start, with the state each goes back to.
    QList<QPair<QPointer<QWidget>, Qt::WindowStates>> m_minimised;
};
