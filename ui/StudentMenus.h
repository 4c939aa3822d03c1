#pragma once

#include <QObject>

#include "ui/MainWindowLayout.h"

class CommandChannel;
class RosterModel;
class TForm_ShowMess;

// The items of the all-students and one-student menus: fixed commands, messages, custom
// commands and the black-out of one student. The selected row is read only when sending,
// because rows come and go while a dialog is open.
class StudentMenus : public QObject
{
    Q_OBJECT

public:
    StudentMenus(const MainWindowLayout &ui, const CommandChannel &channel, RosterModel &roster,
                 TForm_ShowMess &messageDialog, QObject *parent = nullptr);

private:
    int selectedRow() const;
    void send(bool toSelectedRow, const QByteArray &text) const;
    void sendMessage(bool toSelectedRow);
    void sendCustomCommand(bool toSelectedRow);
    void N11Click();

    const MainWindowLayout &m_ui;
    const CommandChannel &m_channel;
    RosterModel &m_roster;
    TForm_ShowMess &m_messageDialog;
};
