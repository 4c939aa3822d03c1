#include "ui/TForm_ShowMess.h"

#include "protocol/Commands.h"
#include "protocol/TextFraming.h"
#include "ui/Prompter.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TForm_ShowMess::TForm_ShowMess(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form_ShowMess"));
    setWindowTitle(QString::fromUtf8("发送消息"));
    setGeometry(192, 107, 352, 277);

    auto *group = new QGroupBox(QString::fromUtf8("内容"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    m_memo = new QPlainTextEdit(group);
    m_memo->setObjectName(QStringLiteral("Memo1"));
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_memo);

    auto *send = new QPushButton(QString::fromUtf8("发送"), this);
    send->setObjectName(QStringLiteral("BitBtn1"));
    auto *cancel = new QPushButton(QString::fromUtf8("取消"), this);
    cancel->setObjectName(QStringLiteral("BitBtn2"));
    // Neither button is a default: Enter in the text makes a new line.
    send->setAutoDefault(false);
    cancel->setAutoDefault(false);
    connect(send, &QPushButton::clicked, this, &TForm_ShowMess::BitBtn1Click);
    connect(cancel, &QPushButton::clicked, this, [this] { done(kCancel); });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(send);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    QFont font(QString::fromUtf8("宋体"));
    font.setPixelSize(13);
    setFont(font);
}

QString TForm_ShowMess::text() const
{
    return m_memo->toPlainText();
}

namespace {
// A student takes this much of a message and no more; a longer one would arrive cut.
QString tooLong(qsizetype bytes)
{
    return QString::fromUtf8("消息太长，不能发送：学生机最多接收 %1 字节（约 %2 个汉字），"
                             "这条消息有 %3 字节。请删减后再发送。")
        .arg(framing::kTextBound)
        .arg(framing::kTextBound / 2)
        .arg(bytes);
}
} // namespace

// A refused text stays as the teacher typed it, with the focus back in it.
void TForm_ShowMess::BitBtn1Click()
{
    const QString text = m_memo->toPlainText();
    const qsizetype bytes = command::message(text).size() - framing::kMessagePrefix.size();
    if (command::isBlank(text)) {
        Prompter::current().message(QString::fromUtf8("消息不能为空"));
    } else if (bytes > framing::kTextBound) {
        Prompter::current().message(tooLong(bytes));
    } else {
        done(kSend);
        return;
    }
    m_memo->setFocus();
}

// Neither button is the cancel button, so Escape does nothing; a teacher half-way through a
// long message does not lose the dialog to a stray key.
void TForm_ShowMess::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// The title bar's close box gives the "closed" result, which sends nothing.
void TForm_ShowMess::reject()
{
    done(kClosed);
}
