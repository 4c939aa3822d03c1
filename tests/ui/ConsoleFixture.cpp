#include "ConsoleFixture.h"

#include "classroom/ClassroomSession.h"
#include "net/ReverseLookup.h"
#include "net/TServerSocket.h"
#include "net/TUDPEndpoint.h"
#include "tests/support/WaitUntil.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMutexLocker>
#include <QToolButton>
#include <QTreeView>

void ConsoleFixture::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    // Lookups run on worker threads while the test goes on naming addresses.
    reverse_lookup::install([this](quint32 address) {
        QMutexLocker locker(&namesLock);
        return names.value(address);
    });
}

void ConsoleFixture::TearDown()
{
    students.clear();
    window.reset();
    EXPECT_TRUE(reverse_lookup::waitForPending(15000));
    reverse_lookup::install({});
    settle(20);
}

Tfrm_main &ConsoleFixture::console()
{
    if (!window) {
        QFile ini(dir.filePath(QStringLiteral("server.ini")));
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(iniLines.join(QLatin1Char('\n')).toLatin1() + '\n');
        ini.close();
        ConsoleOptions options{ini.fileName(),
                               dir.filePath(QStringLiteral("velmora-teacher")),
                               dir.filePath(QStringLiteral("autostart")),
                               frameSource,
                               {},
                               QString(),
                               readmePath,
                               dataFolder};
        window = std::make_unique<Tfrm_main>(options);
        window->show();
    }
    return *window;
}

ClassroomSession &ConsoleFixture::session()
{
    return *console().findChild<ClassroomSession *>();
}

TUDPEndpoint *ConsoleFixture::endpoint(const char *name)
{
    return console().findChild<TUDPEndpoint *>(QString::fromLatin1(name));
}

quint16 ConsoleFixture::commandPort()
{
    return quint16(console().findChild<TServerSocket *>()->Socket()->ListenPort());
}

void ConsoleFixture::nameAddress(int octet, const QByteArray &name)
{
    QMutexLocker locker(&namesLock);
    names.insert(0x7f000000u | quint32(octet), name);
}

int ConsoleFixture::rowOf(const StudentAgent &student)
{
    const QString port = QString::number(student.localPort());
    for (int row = 0; row < rowCount(); ++row) {
        if (cell(row, 2) == port)
            return row;
    }
    return -1;
}

StudentAgent &ConsoleFixture::connectStudent(const QString &name, int octet,
                                             const std::function<void(StudentAgent &)> &configure)
{
    nameAddress(octet, name.toUtf8());
    const int before = rowCount();
    auto agent =
        std::make_unique<StudentAgent>(name, QHostAddress(QStringLiteral("127.0.0.%1").arg(octet)));
    if (configure)
        configure(*agent);
    agent->connectToConsole(QHostAddress::LocalHost, commandPort());
    EXPECT_TRUE(waitUntil([&] { return rowCount() == before + 1; }))
        << "no row for " << name.toStdString();
    // The name comes from a lookup of its own, after the row.
    EXPECT_TRUE(waitUntil([&] { return cell(rowOf(*agent), 0) == name; }))
        << "no name for " << name.toStdString();
    students.push_back(std::move(agent));
    return *students.back();
}

QTreeView *ConsoleFixture::listView()
{
    return console().findChild<QTreeView *>(QStringLiteral("ListView1"));
}

int ConsoleFixture::rowCount()
{
    return listView()->model()->rowCount();
}

QString ConsoleFixture::cell(int row, int column)
{
    return listView()->model()->index(row, column).data().toString();
}

QString ConsoleFixture::statusPanel(int index)
{
    auto *label = console().findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(index));
    return label ? label->text() : QStringLiteral("<missing>");
}

QToolButton *ConsoleFixture::button(const char *name)
{
    return console().findChild<QToolButton *>(QString::fromLatin1(name));
}

void ConsoleFixture::trigger(const char *actionName)
{
    auto *action = console().findChild<QAction *>(QString::fromLatin1(actionName));
    ASSERT_NE(action, nullptr) << actionName;
    action->trigger();
}

void ConsoleFixture::selectRow(int row)
{
    listView()->selectionModel()->clearSelection();
    if (row >= 0)
        listView()->selectionModel()->select(listView()->model()->index(row, 0),
                                             QItemSelectionModel::Select |
                                                 QItemSelectionModel::Rows);
}

void ConsoleFixture::flushCommands()
{
    settle(150);
}
