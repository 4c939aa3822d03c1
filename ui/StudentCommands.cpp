#include "ui/StudentCommands.h"

#include "classroom/RosterModel.h"
#include "protocol/Commands.h"
#include "system/Guard.h"
#include "ui/Prompter.h"
#include "ui/TForm_ShowMess.h"

#include <QAction>
#include <QToolButton>
#include <QTreeView>

namespace {
const QString kBlackOutIdle = QString::fromUtf8("全部黑屏");
const QString kBlackOutActive = QString::fromUtf8("取消黑屏");
const QString kBlackOutEmpty = QString::fromUtf8("现在还没有学生机登录，不能黑屏");
} // namespace

StudentCommands::StudentCommands(const MainWindowLayout &ui, ClassroomSession &session,
                                 TForm_ShowMess &messageDialog, QObject *parent)
    : QObject(parent), m_ui(ui), m_session(session), m_messageDialog(messageDialog)
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
    connect(&session, &ClassroomSession::modeChanged, this, &StudentCommands::showMode);
}

void StudentCommands::send(bool toSelectedRow, const QByteArray &text) const
{
    if (toSelectedRow)
        m_session.SendToRow(m_ui.selectedRow(), text);
    else
        m_session.SendToAll(text);
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

void StudentCommands::N11Click()
{
    m_session.toggleBlackOut(m_ui.selectedRow());
}

// The mode's state is the session's; its button's caption shows it. An empty list refuses only
// the start.
void StudentCommands::SpeedButton3Click()
{
    const bool turnOn = m_session.mode() != ClassroomSession::Mode::BlackedOut;
    if (turnOn && m_session.rosterModel().rowCount() == 0) {
        Prompter::current().message(kBlackOutEmpty);
        return;
    }
    m_session.setBlackOutAll(turnOn);
}

void StudentCommands::showMode(ClassroomSession::Mode mode)
{
    m_ui.SpeedButton3->setText(mode == ClassroomSession::Mode::BlackedOut ? kBlackOutActive
                                                                          : kBlackOutIdle);
}
