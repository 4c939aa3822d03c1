#include "ui/StudentMenus.h"

#include "classroom/CommandChannel.h"
#include "classroom/Commands.h"
#include "classroom/RosterModel.h"
#include "platform/Cp936.h"
#include "platform/Guard.h"
#include "ui/Prompter.h"
#include "ui/TForm_ShowMess.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QTreeView>

namespace {
constexpr int kBlackOutSubItem = RosterModel::BlackOutColumn - 1;
const QByteArray kYes = cp936::encode(QString::fromUtf8("是"));
const QByteArray kNo = cp936::encode(QString::fromUtf8("否"));
} // namespace

StudentMenus::StudentMenus(const MainWindowLayout &ui, const CommandChannel &channel,
                           RosterModel &roster, TForm_ShowMess &messageDialog, QObject *parent)
    : QObject(parent), m_ui(ui), m_channel(channel), m_roster(roster), m_messageDialog(messageDialog)
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
}

int StudentMenus::selectedRow() const
{
    const QModelIndexList rows = m_ui.ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void StudentMenus::send(bool toSelectedRow, const QByteArray &text) const
{
    if (toSelectedRow)
        m_channel.SendToRow(selectedRow(), text);
    else
        m_channel.SendToAll(text);
}

void StudentMenus::sendMessage(bool toSelectedRow)
{
    if (Prompter::current().execDialog(m_messageDialog) != TForm_ShowMess::kSend)
        return;
    send(toSelectedRow, command::message(m_messageDialog.text()));
}

void StudentMenus::sendCustomCommand(bool toSelectedRow)
{
    const QString typed = Prompter::current().inputText(QString::fromUtf8("输入命令"),
                                                        QString::fromUtf8("命令"), 255);
    if (command::isBlank(typed)) {
        Prompter::current().message(QString::fromUtf8("命令不能为空!"));
        return;
    }
    send(toSelectedRow, command::custom(typed));
}

// Toggles by what the row says, whatever the console-wide black-out mode is.
void StudentMenus::N11Click()
{
    const int row = selectedRow();
    if (!m_roster.hasRow(row))
        return;
    const bool blackedOut = m_roster.subItem(row, kBlackOutSubItem) != kNo;
    m_channel.SendToRow(row, blackedOut ? command::UnblackScreen : command::BlackScreen);
    m_roster.setSubItem(row, kBlackOutSubItem, blackedOut ? kNo : kYes);
}
