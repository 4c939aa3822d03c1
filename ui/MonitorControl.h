#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <functional>

#include "ui/ButtonsEnabler.h"
#include "ui/MainWindowLayout.h"

class Monitoring;
class QTimer;
class RosterModel;
class TForm_client;

// Which student's screen the monitor window shows: one chosen from the list, or each in turn
// for ten seconds. The rotation's state is the caption of its toolbar button.
class MonitorControl : public QObject
{
    Q_OBJECT

public:
    MonitorControl(const MainWindowLayout &ui, Monitoring &monitoring, const RosterModel &roster,
                   TForm_client &window, QTimer &rotationTimer, ButtonsEnabler enableOthers,
                   QObject *parent = nullptr);

    void N12Click();
    void SpeedButton2Click();
    void Timer2Timer();
    // The monitor window's closing: the student stops, and so does a running rotation.
    void FormClose();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int selectedRow() const;
    void stopRotation();
    void showStudent();
    void showPicture();

    const MainWindowLayout &m_ui;
    Monitoring &m_monitoring;
    const RosterModel &m_roster;
    TForm_client &m_window;
    // The window's picture, watched for its size; null once it is gone.
    QPointer<QLabel> m_image;
    QTimer &m_rotationTimer;
    ButtonsEnabler m_enableOthers;
};
