#include "ui/QtPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
// What the box the prompter opens looks like; its one button is pressed once it is seen.
struct SeenBox
{
    bool opened = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    qsizetype buttons = 0;
};

void inspectNextBox(SeenBox &seen)
{
    QTimer::singleShot(0, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = {true, box->icon(), box->windowTitle(), box->buttons().size()};
        box->buttons().first()->click();
    });
}
} // namespace

TEST(QtPrompterTest, OperatorMessagesArePlainBoxesAndErrorsCarryTheStopIcon)
{
    QApplication::setApplicationName(QString::fromUtf8("Velmora多媒体网络教室"));
    QtPrompter prompter;

    SeenBox message;
    inspectNextBox(message);
    prompter.message(QString::fromUtf8("现在还没有学生机登录，不能演示"));
    ASSERT_TRUE(message.opened);
    EXPECT_EQ(message.icon, QMessageBox::NoIcon);
    EXPECT_EQ(message.title, QString::fromUtf8("Velmora多媒体网络教室"));
    EXPECT_EQ(message.buttons, 1);

    SeenBox error;
    inspectNextBox(error);
    prompter.error(QStringLiteral("Host Lookup Canceled."));
    ASSERT_TRUE(error.opened);
    EXPECT_EQ(error.icon, QMessageBox::Critical);
    EXPECT_EQ(error.buttons, 1);
}
