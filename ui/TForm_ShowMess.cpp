#include "ui/TForm_ShowMess.h"

#include "classroom/Commands.h"
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

void TForm_ShowMess::BitBtn1Click()
{
    if (command::isBlank(m_memo->toPlainText())) {
        Prompter::current().message(QString::fromUtf8("消息不能为空"));
        m_memo->setFocus();
        return;
    }
    done(kSend);
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
