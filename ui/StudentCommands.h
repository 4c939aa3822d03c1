#pragma once

#include <QObject>

#include "classroom/ClassroomSession.h"
#include "ui/MainWindowLayout.h"

class TForm_ShowMess;

// What the teacher sends from the two command menus and the black-out button: fixed commands,
// messages, custom commands, black-out of all or of one. The selected row is read only when
// sending, because rows come and go while a dialog is open.
class StudentCommands : public QObject
{
    Q_OBJECT

public:
    StudentCommands(const MainWindowLayout &ui, ClassroomSession &session,
                    TForm_ShowMess &messageDialog, QObject *parent = nullptr);

    void SpeedButton3Click();

private:
    void send(bool toSelectedRow, const QByteArray &text) const;
    void sendMessage(bool toSelectedRow);
    void sendCustomCommand(bool toSelectedRow);
    void N11Click();
    void showMode(ClassroomSession::Mode mode);

    const MainWindowLayout &m_ui;
    ClassroomSession &m_session;
    TForm_ShowMess &m_messageDialog;
};
