#include "ConsoleFixture.h"

#include "classroom/Roster.h"
#include "net/ReverseLookup.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerSocket.h"
#include "tests/support/WaitUntil.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QSemaphore>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QString kNo = QString::fromUtf8("否");
} // namespace

class RosterTest : public ConsoleFixture
{
protected:
    QStringList names()
    {
        QStringList captions;
        for (int row = 0; row < rowCount(); ++row)
            captions << cell(row, 0);
        return captions;
    }
    void clickHeader(int column) { emit listView()->header()->sectionClicked(column); }
};

TEST_F(RosterTest, StudentsAppearInAcceptanceOrderWithTheirColumnsAndCount)
{
    EXPECT_EQ(statusPanel(0), QString());
    StudentAgent &alpha = connectStudent(QStringLiteral("alpha"), 2);
    connectStudent(QStringLiteral("bravo"), 3);
    connectStudent(QStringLiteral("charlie"), 4);

    EXPECT_EQ(names(), (QStringList{"alpha", "bravo", "charlie"}));
    EXPECT_EQ(cell(0, 1), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(cell(0, 2), QString::number(alpha.localPort()));
    EXPECT_TRUE(QTime::fromString(cell(0, 3), QStringLiteral("HH:mm:ss")).isValid())
        << cell(0, 3).toStdString();
    EXPECT_EQ(cell(2, 4), kNo);
    EXPECT_EQ(statusPanel(0), QString::fromUtf8("现在学生人数是:3"));
    EXPECT_EQ(session().roster().StudentCount(), 3);
    EXPECT_EQ(session().roster().StudentList().size(), 3);
    EXPECT_FALSE(listView()->model()->index(0, 0).data(Qt::DecorationRole).isNull());
}

TEST_F(RosterTest, ConnectTimeIsTheTimeOfDayWithSeconds)
{
    EXPECT_EQ(Roster::connectTimeText(QTime(9, 5, 7)), QStringLiteral("09:05:07"));
}

TEST_F(RosterTest, DisconnectRemovesItsOwnRowWhateverTheSortOrder)
{
    connectStudent(QStringLiteral("delta"), 2);
    connectStudent(QStringLiteral("Alpha"), 3);
    StudentAgent &charlie = connectStudent(QStringLiteral("charlie"), 4);
    connectStudent(QStringLiteral("bravo"), 5);

    for (int column = 0; column < 5; ++column) {
        clickHeader(column);
        EXPECT_EQ(session().roster().SortColumn(), column);
    }
    clickHeader(0);
    EXPECT_EQ(names(), (QStringList{"Alpha", "bravo", "charlie", "delta"}));

    charlie.disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 3; }));
    EXPECT_EQ(names(), (QStringList{"Alpha", "bravo", "delta"}));
    EXPECT_EQ(statusPanel(0), QString::fromUtf8("现在学生人数是:3"));

    // The list is not kept sorted: a newcomer goes to the end.
    connectStudent(QStringLiteral("aardvark"), 6);
    EXPECT_EQ(names().last(), QStringLiteral("aardvark"));
}

TEST_F(RosterTest, SameComputerTwiceGetsTwoRowsEachRemovedByItsPort)
{
    StudentAgent &first = connectStudent(QStringLiteral("echo"), 2);
    StudentAgent &second = connectStudent(QStringLiteral("echo"), 2);
    const QString secondPort = QString::number(second.localPort());

    first.disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 1; }));
    EXPECT_EQ(cell(0, 2), secondPort);
}

TEST_F(RosterTest, AStudentWithoutANameGetsAnEmptyCaption)
{
    nameAddress(7, QByteArray());
    auto agent =
        std::make_unique<StudentAgent>(QStringLiteral("nameless"), QHostAddress("127.0.0.7"));
    agent->connectToConsole(QHostAddress::LocalHost, commandPort());
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 1; }));
    EXPECT_EQ(cell(0, 0), QString());
    EXPECT_EQ(cell(0, 1), QStringLiteral("127.0.0.7"));
    agent->disconnectGracefully();
    EXPECT_TRUE(waitUntil([&] { return rowCount() == 0; }));
}

TEST_F(RosterTest, AResetStudentLeavesNoGhostRow)
{
    connectStudent(QStringLiteral("foxtrot"), 2);
    StudentAgent &golf = connectStudent(QStringLiteral("golf"), 3);
    golf.reset();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 1; }));
    EXPECT_EQ(cell(0, 0), QStringLiteral("foxtrot"));
    EXPECT_EQ(session().roster().StudentCount(), 1);
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
    TServerWinSocket *server = console().findChild<TServerSocket *>()->Socket();
    EXPECT_TRUE(waitUntil([&] { return server->ConnectionCount() == 1; }));
}

TEST_F(RosterTest, ANameThatChangesBeforeDisconnectStillRemovesTheRow)
{
    StudentAgent &hotel = connectStudent(QStringLiteral("hotel"), 2);
    nameAddress(2, "renamed");
    hotel.disconnectGracefully();
    EXPECT_TRUE(waitUntil([&] { return rowCount() == 0; }));
    EXPECT_EQ(statusPanel(0), QString::fromUtf8("现在学生人数是:0"));
}

TEST_F(RosterTest, AStudentFloodingJunkStaysListed)
{
    StudentAgent &india = connectStudent(QStringLiteral("india"), 2);
    const QByteArray junk(64 * 1024, 'j');
    for (int i = 0; i < 64; ++i)
        india.sendJunk(junk);
    settle(300);
    EXPECT_EQ(rowCount(), 1);
    EXPECT_TRUE(india.isConnected());
    connectStudent(QStringLiteral("juliet"), 3);
    EXPECT_EQ(rowCount(), 2);
}

TEST_F(RosterTest, ARightClickOnARowSelectsItAndOpensTheOneStudentMenu)
{
    connectStudent(QStringLiteral("kilo"), 2);
    connectStudent(QStringLiteral("lima"), 3);
    QWidget *viewport = listView()->viewport();
    auto *menu = console().findChild<QMenu *>(QStringLiteral("PopupMenu3"));
    const auto request = [&](QContextMenuEvent::Reason reason, const QPoint &at) {
        QContextMenuEvent event(reason, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        const bool opened = menu->isVisible();
        menu->hide();
        return opened;
    };
    const QPoint onLima = listView()->visualRect(listView()->model()->index(1, 0)).center();
    QTest::mouseClick(viewport, Qt::RightButton, {}, onLima);
    EXPECT_TRUE(request(QContextMenuEvent::Mouse, onLima));
    const QModelIndexList selected = listView()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().row(), 1);

    EXPECT_FALSE(request(QContextMenuEvent::Mouse, QPoint(5, viewport->height() - 2)));
    EXPECT_FALSE(request(QContextMenuEvent::Keyboard, onLima));
}

// In every view style a left click, a right click and an arrow key select the whole row, so
// every one-student item reaches the student under the pointer.
TEST_F(RosterTest, EveryViewStyleSelectsWholeRowsByMouseAndKeyboard)
{
    StudentAgent &mike = connectStudent(QStringLiteral("mike"), 2);
    StudentAgent &november = connectStudent(QStringLiteral("november"), 3);
    auto *icons = console().findChild<QListView *>(QStringLiteral("ListView1Icons"));
    ASSERT_NE(icons, nullptr);
    struct Style
    {
        const char *action;
        QAbstractItemView *view;
        Qt::Key next;
    } const styles[] = {{"N6", icons, Qt::Key_Right},
                        {"N7", icons, Qt::Key_Right},
                        {"N8", listView(), Qt::Key_Down}};
    QByteArray toMike;
    QByteArray toNovember;
    for (const Style &style : styles) {
        trigger(style.action);
        settle(20);
        ASSERT_TRUE(style.view->isVisibleTo(&console())) << style.action;
        // Large and small icons alike draw the roster's 16 x 16 image.
        EXPECT_EQ(style.view->iconSize(), QSize(16, 16)) << style.action;
        QWidget *viewport = style.view->viewport();
        const auto centreOf = [&](int row) {
            return style.view->visualRect(style.view->model()->index(row, 0)).center();
        };
        QTest::mouseClick(viewport, Qt::LeftButton, {}, centreOf(1));
        trigger("MenuItem4");
        toNovember += "04";
        QTest::mouseClick(viewport, Qt::RightButton, {}, centreOf(0));
        trigger("MenuItem5");
        toMike += "05";
        style.view->setFocus();
        QTest::keyClick(style.view, style.next);
        trigger("MenuItem6");
        toNovember += "06";
        ASSERT_TRUE(waitUntil([&] { return november.receivedBytes() == toNovember; }))
            << style.action << " " << november.receivedBytes().toStdString();
        ASSERT_TRUE(waitUntil([&] { return mike.receivedBytes() == toMike; }))
            << style.action << " " << mike.receivedBytes().toStdString();
    }
    EXPECT_EQ(icons->viewMode(), QListView::ListMode);
}

// A name server that does not answer: the row is there at once, everything goes on, and the
// name fills in when the answer comes.
TEST_F(RosterTest, ASlowNameLookupFreezesNothingAndTheNameComesLater)
{
    console();
    QSemaphore answer;
    std::atomic<bool> answered = false;
    // Even a failed check must not leave a lookup waiting on what this test is about to drop.
    struct Release
    {
        QSemaphore &answer;
        ~Release()
        {
            answer.release();
            reverse_lookup::waitForPending(30000);
        }
    } release{answer};
    reverse_lookup::install([&](quint32 address) -> QByteArray {
        if (address != 0x7f000002u)
            return "quick";
        answer.tryAcquire(1, 20000);
        answered = true;
        return "slowpoke";
    });
    auto slow = std::make_unique<StudentAgent>(QStringLiteral("slow"), QHostAddress("127.0.0.2"));
    slow->connectToConsole(QHostAddress::LocalHost, commandPort());
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 1; }));
    bool ticked = false;
    QTimer::singleShot(10, [&] { ticked = true; });
    auto quick = std::make_unique<StudentAgent>(QStringLiteral("quick"), QHostAddress("127.0.0.3"));
    quick->connectToConsole(QHostAddress::LocalHost, commandPort());
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 2 && cell(1, 0) == "quick" && ticked; }));
    EXPECT_FALSE(answered);
    EXPECT_EQ(cell(0, 0), QString());
    EXPECT_EQ(cell(0, 1), QStringLiteral("127.0.0.2"));

    answer.release();
    EXPECT_TRUE(waitUntil([&] { return cell(0, 0) == QStringLiteral("slowpoke"); }));
    EXPECT_TRUE(answered);
}

// A student gone before the console got to it, as a storm of connect-and-reset does: nothing
// is shown, it never gets a row, and the counts stay equal to the rows.
TEST_F(RosterTest, AStudentResetBeforeItWasListedLeavesTheCountsRight)
{
    connectStudent(QStringLiteral("oscar"), 2);
    for (int i = 0; i < 20; ++i) {
        const int handle = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in console{};
        console.sin_family = AF_INET;
        console.sin_port = htons(commandPort());
        console.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(handle, reinterpret_cast<sockaddr *>(&console), sizeof console), 0);
        const linger abortive{1, 0};
        ::setsockopt(handle, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        ::close(handle);
    }
    connectStudent(QStringLiteral("papa"), 3);

    EXPECT_EQ(names(), (QStringList{"oscar", "papa"}));
    EXPECT_EQ(this->console().findChild<TServerSocket *>()->Socket()->ConnectionCount(), 2);
    EXPECT_EQ(this->session().roster().StudentCount(), 2);
    EXPECT_EQ(this->session().roster().StudentList().size(), 2);
    EXPECT_EQ(statusPanel(0), QString::fromUtf8("现在学生人数是:2"));
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
}
