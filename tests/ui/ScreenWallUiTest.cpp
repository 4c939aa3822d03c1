#include "ConsoleFixture.h"

#include "classroom/RosterModel.h"
#include "net/TUDPEndpoint.h"
#include "tests/support/WaitUntil.h"
#include "ui/ScreenWallView.h"
#include "ui/TForm_client.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

// The wall in the real window, its students fake agents that send their screens when asked.
class ScreenWallUiTest : public ConsoleFixture
{
protected:
    StudentAgent &student(const QString &name, int octet)
    {
        const quint16 mousePort = quint16(endpoint("MouseUDP")->BoundPort());
        return connectStudent(name, octet, [mousePort](StudentAgent &s) {
            s.setMousePort(mousePort);
            s.setPictureSize(QSize(320, 180));
            s.screen().setFramesPerSecond(10);
        });
    }
    ScreenWallView *wall() { return console().findChild<ScreenWallView *>("ScreenWall"); }
    QWidget *shownView()
    {
        return static_cast<QStackedWidget *>(wall()->parentWidget())->currentWidget();
    }
    quint64 keyOf(const StudentAgent &s) { return session().rosterModel().key(rowOf(s)); }
    bool tileShowsPicture(const StudentAgent &s)
    {
        return rowOf(s) >= 0 && wall()->hasPicture(keyOf(s));
    }
    void doubleClickTile(int row)
    {
        QTest::mouseDClick(wall(), Qt::LeftButton, {}, wall()->tileRect(row).center());
    }
};

// Every student has its tile in roster order, with its own screen: one that joins gets one,
// one that leaves loses its own, a sort moves the tiles with their rows; a double-click on a
// tile monitors that student, and the one-student menu opens over a tile for its row.
TEST_F(ScreenWallUiTest, TilesFollowTheRosterAndActAsItsRows)
{
    console().resize(1000, 700);
    StudentAgent &charlie = student(QStringLiteral("charlie"), 2);
    StudentAgent &alpha = student(QStringLiteral("alpha"), 3);
    trigger("WallItem");
    ASSERT_EQ(shownView(), wall());
    ASSERT_TRUE(waitUntil([&] { return tileShowsPicture(charlie) && tileShowsPicture(alpha); }));
    StudentAgent &bravo = student(QStringLiteral("bravo"), 4);
    ASSERT_TRUE(waitUntil([&] { return tileShowsPicture(bravo); }));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(wall()->tileAt(wall()->tileRect(row).center()), row);
        EXPECT_TRUE(wall()->rect().contains(wall()->tileRect(row)));
    }

    emit listView()->header()->sectionClicked(RosterModel::NameColumn);
    ASSERT_EQ(cell(0, 0), QStringLiteral("alpha"));
    doubleClickTile(2);
    auto *monitor = console().findChild<TForm_client *>(QStringLiteral("Form_client"));
    EXPECT_TRUE(monitor->isVisible());
    EXPECT_EQ(monitor->windowTitle(), QString::fromUtf8("监视 - charlie"));

    const QPoint onBravo = wall()->tileRect(1).center();
    QTest::mousePress(wall(), Qt::RightButton, {}, onBravo);
    QContextMenuEvent request(QContextMenuEvent::Mouse, onBravo, wall()->mapToGlobal(onBravo));
    QCoreApplication::sendEvent(wall(), &request);
    auto *menu = console().findChild<QMenu *>(QStringLiteral("PopupMenu3"));
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    trigger("MenuItem4");
    flushCommands();
    EXPECT_EQ(bravo.commands().constLast().raw, "04");

    alpha.disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 2; }));
    EXPECT_EQ(wall()->tileAt(wall()->tileRect(2).center()), -1);
    EXPECT_TRUE(tileShowsPicture(bravo));
    EXPECT_TRUE(tileShowsPicture(charlie));
}

// The wall is a view beside the modes: the black-out runs while it is shown, and leaving it
// brings back the view the teacher had, with the monitored student still sending.
TEST_F(ScreenWallUiTest, LeavingTheWallReturnsToTheViewAndKeepsTheMonitoredStudent)
{
    StudentAgent &alpha = student(QStringLiteral("alpha"), 2);
    StudentAgent &bravo = student(QStringLiteral("bravo"), 3);
    trigger("N6");
    QWidget *icons = shownView();
    trigger("WallItem");
    button("SpeedButton3")->click();
    EXPECT_EQ(button("SpeedButton3")->text(), QString::fromUtf8("取消黑屏"));
    EXPECT_EQ(button("SpeedButton2")->text(), QString::fromUtf8("循环监视"));
    EXPECT_EQ(shownView(), wall());
    doubleClickTile(rowOf(bravo));
    trigger("WallItem");
    EXPECT_EQ(shownView(), icons);
    ASSERT_TRUE(waitUntil([&] { return !alpha.isSendingScreen(); }));
    flushCommands();
    EXPECT_TRUE(bravo.isSendingScreen());
    EXPECT_TRUE(bravo.isBlackedOut());

    // A style chosen while the wall is shown is the view the teacher gets.
    trigger("WallItem");
    trigger("N8");
    EXPECT_EQ(shownView(), listView());
    EXPECT_FALSE(console().findChild<QAction *>(QStringLiteral("WallItem"))->isChecked());
    ASSERT_TRUE(waitUntil([&] { return !alpha.isSendingScreen(); }));
}
