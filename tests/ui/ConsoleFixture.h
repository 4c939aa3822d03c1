#pragma once

#include <QHostAddress>
#include <QMap>
#include <QMutex>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "FakePrompter.h"
#include "tests/support/QtPrinters.h"
#include "tools/student-sim/StudentAgent.h"
#include "ui/Tfrm_main.h"

class ClassroomSession;
class FrameSource;
class TUDPEndpoint;
class QAction;
class QToolButton;
class QTreeView;

// A real console window on loopback, its boxes answered by a FakePrompter, its students
// fake agents from their own 127.0.0.x addresses with names the reverse lookup gives them.
class ConsoleFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Lines of server.ini written before the console starts ("Socket_Port=0" by default).
    QStringList iniLines{QStringLiteral("[SysInfo]"), QStringLiteral("Socket_Port=0"),
                         QStringLiteral("UDP_Port1=0"), QStringLiteral("UDP_Port2=0")};

    // Starts the console (once) as the program does: created, then shown.
    Tfrm_main &console();
    // The window's session and its components, found as the window's children.
    ClassroomSession &session();
    TUDPEndpoint *endpoint(const char *name);
    quint16 commandPort();

    // A student from 127.0.0.<octet> answering to name; waits until its row is there.
    StudentAgent &connectStudent(const QString &name, int octet,
                                 const std::function<void(StudentAgent &)> &configure = {});
    // Names the reverse lookup gives for 127.0.0.<octet>; no entry: no name.
    void nameAddress(int octet, const QByteArray &name);

    // The row of a connected student (found by its port), -1 when it has none.
    int rowOf(const StudentAgent &student);
    QTreeView *listView();
    int rowCount();
    QString cell(int row, int column);
    QString statusPanel(int index);
    QToolButton *button(const char *name);
    void trigger(const char *actionName);
    void selectRow(int row);
    // Gives the agents time to read what the console has written to them.
    void flushCommands();

    FakePrompter prompter;
    QTemporaryDir dir;
    // The guide Help opens; none by default.
    QString readmePath;
    // The console's own files (key, computers seen); none kept by default.
    QString dataFolder;
    // Demonstration frames of the console; the real screen when left empty.
    std::shared_ptr<FrameSource> frameSource;
    std::unique_ptr<Tfrm_main> window;
    std::vector<std::unique_ptr<StudentAgent>> students;
    QMutex namesLock;
    QMap<quint32, QByteArray> names;
};
