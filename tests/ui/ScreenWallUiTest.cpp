#include "ConsoleFixture.h"

#include "classroom/RosterModel.h"
#include "net/TUDPEndpoint.h"
#include "tests/support/WaitUntil.h"
#include "ui/ScreenWallView.h"
#include "ui/TForm_client.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
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
        });
    }
    ScreenWallView *wall() { return console().findChild<ScreenWallView *>("ScreenWall"); }
    QWidget *shownView()
    {
        return static_cast<QStackedWidget *>(wall()->parentWidget())->currentWidget();
    }
    bool tileShowsPicture(const StudentAgent &s)
    {
        return rowOf(s) >= 0 && wall()->hasPicture(session().rosterModel().key(rowOf(s)));
    }
};

// Every student has its tile in roster order, with its own screen: one that joins gets one,
// one that leaves loses its own, a sort moves the tiles with their rows. A tile acts as its
// row: double-clicked it is monitored, right-clicked it opens the one-student menu. The wall
// is a view beside the modes, and leaving it brings back the view the teacher had, the
// monitored student still sending.
TEST_F(ScreenWallUiTest, TilesFollowTheRosterAndActAsItsRows)
{
    console().resize(1000, 700);
    StudentAgent &charlie = student(QStringLiteral("charlie"), 2);
    StudentAgent &alpha = student(QStringLiteral("alpha"), 3);
    trigger("N6");
    QWidget *icons = shownView();
    trigger("WallItem");
    ASSERT_EQ(shownView(), wall());
    ASSERT_TRUE(waitUntil([&] { return tileShowsPicture(charlie) && tileShowsPicture(alpha); }));
    StudentAgent &bravo = student(QStringLiteral("bravo"), 4);
    ASSERT_TRUE(waitUntil([&] { return tileShowsPicture(bravo); }));
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(wall()->tileAt(wall()->tileRect(row).center()), row);

    emit listView()->header()->sectionClicked(RosterModel::NameColumn);
    ASSERT_EQ(cell(0, 0), QStringLiteral("alpha"));
    QTest::mouseDClick(wall(), Qt::LeftButton, {}, wall()->tileRect(2).center());
    auto *monitor = console().findChild<TForm_client *>(QStringLiteral("Form_client"));
    EXPECT_EQ(monitor->windowTitle(), QString::fromUtf8("监视 - charlie"));

    const QPoint onBravo = wall()->tileRect(1).center();
    QTest::mousePress(wall(), Qt::RightButton, {}, onBravo);
    QContextMenuEvent request(QContextMenuEvent::Mouse, onBravo, wall()->mapToGlobal(onBravo));
    QCoreApplication::sendEvent(wall(), &request);
    auto *menu = console().findChild<QMenu *>(QStringLiteral("PopupMenu3"));
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    trigger("MenuItem4");
    button("SpeedButton3")->click();
    EXPECT_EQ(shownView(), wall());

    alpha.disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 2; }));
    EXPECT_EQ(wall()->tileAt(wall()->tileRect(2).center()), -1);
    EXPECT_TRUE(tileShowsPicture(bravo));
    trigger("WallItem");
    EXPECT_EQ(shownView(), icons);
    ASSERT_TRUE(waitUntil([&] { return !bravo.isSendingScreen(); }));
    EXPECT_TRUE(charlie.isSendingScreen());
    EXPECT_TRUE(bravo.isBlackedOut());
    EXPECT_EQ(bravo.commands().at(1).raw, "04");
}
