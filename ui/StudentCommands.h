#pragma once

#include <QObject>

#include "ui/ButtonsEnabler.h"
#include "ui/MainWindowLayout.h"

class CommandChannel;
class RosterModel;
class TForm_ShowMess;

// What the teacher sends from the two command menus and the black-out button: fixed commands,
// messages, custom commands, black-out of all or of one. The selected row is read only when
// sending, because rows come and go while a dialog is open.
class StudentCommands : public QObject
{
    Q_OBJECT

public:
    StudentCommands(const MainWindowLayout &ui, const CommandChannel &channel, RosterModel &roster,
                    TForm_ShowMess &messageDialog, ButtonsEnabler enableOthers,
                    QObject *parent = nullptr);

    void SpeedButton3Click();
    // At the console's end: "UNBLACKSCREEN" to every row that shows a black-out, so no
    // student stays locked behind a black screen.
    void releaseBlackedOut();

private:
    int selectedRow() const;
    void send(bool toSelectedRow, const QByteArray &text) const;
    void sendMessage(bool toSelectedRow);
    void sendCustomCommand(bool toSelectedRow);
    void N11Click();
    void setAllBlackOut(bool on);

    const MainWindowLayout &m_ui;
    const CommandChannel &m_channel;
    RosterModel &m_roster;
    TForm_ShowMess &m_messageDialog;
    ButtonsEnabler m_enableOthers;
};
