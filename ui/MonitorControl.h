#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>

#include "classroom/ClassroomSession.h"
#include "ui/MainWindowLayout.h"

class TForm_client;

// The monitor window's side of monitoring: the student chosen from the list, the rotation's
// button and tick, the window's closing, the monitored screen as it arrives, and the student
// demonstration, which shows the class the student of this window.
class MonitorControl : public QObject
{
    Q_OBJECT

public:
    MonitorControl(const MainWindowLayout &ui, ClassroomSession &session, TForm_client &window,
                   QObject *parent = nullptr);

    void N12Click();
    // "学生演示" of the one-student menu: that student, shown here and to the class.
    void N16Click();
    // "学生演示" of the monitor window: the student it shows.
    void StudentDemoClick();
    void SpeedButton2Click();
    void Timer2Timer();
    // The monitor window's closing: the student stops, and so does a running rotation.
    void FormClose();
    // A frame of the monitored student's screen has come through the session.
    void MouseUDPDataReceived(const JpegDecoder::Image &picture);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMode(ClassroomSession::Mode mode);
    void presentStudent(quint64 key);
    void showStudent();

    const MainWindowLayout &m_ui;
    ClassroomSession &m_session;
    TForm_client &m_window;
    // The window's picture, watched for its size; null once it is gone.
    QPointer<QLabel> m_image;
    bool m_rotating = false;
};
