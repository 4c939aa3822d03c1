#pragma once

#include <QObject>
#include <QPoint>

#include "ui/ButtonsEnabler.h"
#include "ui/MainWindowLayout.h"

class CommandChannel;
class Demonstration;
class QTimer;
class RosterModel;
class TUDPEndpoint;
class QWidget;

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
    void ScreenTimerTimer();

private:
    QPoint pointerOnPrimaryScreen() const;

    const MainWindowLayout &m_ui;
    Demonstration &m_demonstration;
    const CommandChannel &m_channel;
    const RosterModel &m_roster;
    const QWidget &m_monitorWindow;
    TUDPEndpoint &m_mouseEndpoint;
    QTimer &m_screenTimer;
    ButtonsEnabler m_enableOthers;
};
