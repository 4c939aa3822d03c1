#include "ui/StudentCommands.h"

#include "classroom/CommandChannel.h"
#include "classroom/RosterModel.h"
#include "protocol/Commands.h"
#include "system/Guard.h"
#include "text/Cp936.h"
#include "ui/Prompter.h"
#include "ui/TForm_ShowMess.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QList>
#include <QToolButton>
#include <QTreeView>

namespace {
constexpr int kBlackOutSubItem = RosterModel::BlackOutColumn - 1;
const QByteArray kYes = cp936::encode(QString::fromUtf8("是"));
const QByteArray kNo = cp936::encode(QString::fromUtf8("否"));
const QString kBlackOutIdle = QString::fromUtf8("全部黑屏");
const QString kBlackOutActive = QString::fromUtf8("取消黑屏");
const QString kBlackOutEmpty = QString::fromUtf8("现在还没有学生机登录，不能黑屏");
} // namespace

StudentCommands::StudentCommands(const MainWindowLayout &ui, const CommandChannel &channel,
                                 RosterModel &roster, TForm_ShowMess &messageDialog,
                                 ButtonsEnabler enableOthers, QObject *parent)
    : QObject(parent), m_ui(ui), m_channel(channel), m_roster(roster),
      m_messageDialog(messageDialog), m_enableOthers(std::move(enableOthers))
{
    const auto on = [this](QAction *action, std::function<void()> handler) {
        connect(action, &QAction::triggered, this, [handler] { guard::run(handler); });
    };
    for (const MainWindowLayout::CommandItem &item : ui.allStudentsCommands)
        on(item.action, [this, text = QByteArray(item.text)] { send(false, text); });
    for (const MainWindowLayout::CommandItem &item : ui.oneStudentCommands)
        on(item.action, [this, text = QByteArray(item.text)] { send(true, text); });
    on(ui.N9, [this] { sendMessage(false); });
    on(ui.N13, [this] { sendMessage(true); });
    on(ui.N10, [this] { sendCustomCommand(false); });
    on(ui.N14, [this] { sendCustomCommand(true); });
    on(ui.N11, [this] { N11Click(); });
    connect(ui.SpeedButton3, &QToolButton::clicked, this,
            [this] { guard::run([this] { SpeedButton3Click(); }); });
}

int StudentCommands::selectedRow() const
{
    const QModelIndexList rows = m_ui.ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void StudentCommands::send(bool toSelectedRow, const QByteArray &text) const
{
    if (toSelectedRow)
        m_channel.SendToRow(selectedRow(), text);
    else
        m_channel.SendToAll(text);
}

void StudentCommands::sendMessage(bool toSelectedRow)
{
    if (Prompter::current().execDialog(m_messageDialog) != TForm_ShowMess::kSend)
        return;
    send(toSelectedRow, command::message(m_messageDialog.text()));
}

void StudentCommands::sendCustomCommand(bool toSelectedRow)
{
    const std::optional<QString> typed = Prompter::current().inputText(
        QString::fromUtf8("输入命令"), QString::fromUtf8("命令"), 255);
    if (!typed)
        return;
    if (command::isBlank(*typed)) {
        Prompter::current().message(QString::fromUtf8("命令不能为空!"));
        return;
    }
    send(toSelectedRow, command::custom(*typed));
}

// Toggles by what the row says, whatever the console-wide black-out mode is. A send that
// fails removes the row and moves the ones below it up: the mark goes to the row of the same
// connection, if it is still there.
void StudentCommands::N11Click()
{
    const int row = selectedRow();
    if (!m_roster.hasRow(row))
        return;
    const quint64 key = m_roster.key(row);
    const bool blackedOut = m_roster.subItem(row, kBlackOutSubItem) != kNo;
    m_channel.SendToKey(key, blackedOut ? command::UnblackScreen : command::BlackScreen);
    m_roster.setSubItem(m_roster.rowOfKey(key), kBlackOutSubItem, blackedOut ? kNo : kYes);
}

// The mode is the button's caption; each row's own state is its fifth column. An empty list
// refuses only the start.
void StudentCommands::SpeedButton3Click()
{
    const bool turnOn = m_ui.SpeedButton3->text() == kBlackOutIdle;
    if (turnOn && m_roster.rowCount() == 0) {
        Prompter::current().message(kBlackOutEmpty);
        return;
    }
    m_ui.SpeedButton3->setText(turnOn ? kBlackOutActive : kBlackOutIdle);
    m_enableOthers(m_ui.SpeedButton3, !turnOn);
    m_channel.SendToAll(turnOn ? command::BlackScreen : command::UnblackScreen);
    setAllBlackOut(turnOn);
}

// Each row by its own column: a student blacked out alone is released as well. The students
// are named before any send, since a failed send takes its row away and the rows below move up.
void StudentCommands::releaseBlackedOut()
{
    QList<quint64> blackedOut;
    for (int row = 0; row < m_roster.rowCount(); ++row) {
        if (m_roster.subItem(row, kBlackOutSubItem) != kNo)
            blackedOut.append(m_roster.key(row));
    }
    for (const quint64 key : std::as_const(blackedOut))
        m_channel.SendToKey(key, command::UnblackScreen);
}

void StudentCommands::setAllBlackOut(bool on)
{
    for (int row = 0; row < m_roster.rowCount(); ++row)
        m_roster.setSubItem(row, kBlackOutSubItem, on ? kYes : kNo);
}
