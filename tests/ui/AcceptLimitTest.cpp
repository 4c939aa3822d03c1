#include "ConsoleFixture.h"

#include "net/ConnectionBudget.h"
#include "tests/support/LoweredDescriptorLimit.h"
#include "tests/support/StudentCrowd.h"
#include "tests/support/WaitUntil.h"

#include <QTimer>

namespace {

using AcceptLimit = ConsoleFixture;

// Once, about a thousand connections from one host used up the descriptors and the accept
// failure opened an error box that could not paint: the console hung for good. Now the room's
// limit only pauses accepting, says so in the status bar, and the window goes on working.
// Run under Xvfb with the xcb platform too (ctest "ui-descriptors"), where painting needs
// descriptors of its own.
TEST_F(AcceptLimit, ConsoleOutOfRoomPausesAcceptingAndResumesWithNothingLost)
{
    constexpr int capacity = 12;
    const quint16 port = commandPort();
    ASSERT_LT(LoweredDescriptorLimit::openNow() + capacity, ConnectionBudget::kHeadroom);
    LoweredDescriptorLimit limit(rlim_t(ConnectionBudget::kHeadroom + capacity));
    ChildCrowd crowd(capacity + 6, port);
    ASSERT_TRUE(crowd.started());

    ASSERT_TRUE(waitUntil([&] { return rowCount() == capacity; }));
    EXPECT_TRUE(statusPanel(2).contains(QString::number(capacity))) << statusPanel(2).toStdString();

    // The window still turns: a timer fires and the window repaints while students wait.
    bool ticked = false;
    QTimer::singleShot(50, [&] { ticked = true; });
    EXPECT_TRUE(waitUntil([&] { return ticked; }));
    console().repaint();
    EXPECT_EQ(rowCount(), capacity);

    crowd.closeFirst(6);
    const QString resumed = QString::fromUtf8("已恢复接受学生连接");
    EXPECT_TRUE(waitUntil([&] { return statusPanel(2) == resumed; }));
    EXPECT_TRUE(waitUntil([&] { return rowCount() == capacity; }));
    settle(300);
    EXPECT_EQ(rowCount(), capacity);
    EXPECT_EQ(statusPanel(0), QString::fromUtf8("现在学生人数是:%1").arg(capacity));
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
}

} // namespace
