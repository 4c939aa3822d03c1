#include "agent/Agent.h"
#include "agent/AgentOptions.h"
#include "agent/DBusPowerControl.h"
#include "agent/ProcessStarter.h"
#include "agent/SessionAgent.h"
#include "agent/SessionPipe.h"
#include "agent/StudentService.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char kWaylandRefusal[] =
    "velmora-student: 本程序需要 X11 会话，不支持 Wayland。请在登录界面选择 X11（Xorg）会话。\n"
    "velmora-student: this program needs an X11 session; Wayland is not supported. Choose an "
    "X11 (Xorg) session at the login screen.\n";
const char kNoDisplay[] =
    "velmora-student: 没有 X11 显示（DISPLAY 未设置），本程序须在桌面会话中运行。\n"
    "velmora-student: no X11 display (DISPLAY is not set); run it in the "
    "student's desktop session.\n";

// One agent run by hand per X display: a second one would show up twice in the console and
// fight the first over the keyboard grab.
QString instanceLockPath()
{
    QString display = qEnvironmentVariable("DISPLAY");
    display.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/velmora-student") + display + QStringLiteral(".lock");
}

bool waylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
           (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && !qEnvironmentVariableIsSet("DISPLAY"));
}

QStringList argumentList(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

int runService(int argc, char **argv, const AgentOptions &options)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = argumentList(argc, argv);
    StudentService service(
        options.config, [arguments] { return AgentOptions::parse(arguments).settings; },
        QDBusConnection::systemBus(),
        {QCoreApplication::applicationFilePath(), QStringLiteral("--session-part"),
         QStringLiteral("--config"), options.config});
    service.start();
    return app.exec();
}

// The pipe to the service is kept on descriptors of its own: the programs the part starts get
// /dev/null for input and the log for output, and never read or write its frames.
bool takeServicePipe(int &input, int &output)
{
    input = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    output = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    return input >= 0 && output >= 0 && nothing >= 0 && dup2(nothing, STDIN_FILENO) >= 0 &&
           dup2(STDERR_FILENO, STDOUT_FILENO) >= 0 && close(nothing) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    // A pipe whose other end went away is an error to handle, not a reason to die.
    std::signal(SIGPIPE, SIG_IGN);
    const AgentOptions options = AgentOptions::parse(argumentList(argc, argv));
    if (options.outcome == AgentOptions::Outcome::Help) {
        std::fputs(options.text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options.outcome == AgentOptions::Outcome::Error) {
        std::fputs(("velmora-student: " + options.text).toLocal8Bit().constData(), stderr);
        return 2;
    }
    qSetMessagePattern(QStringLiteral("velmora-student: %{message}"));
    if (options.mode == AgentOptions::Mode::Service) {
        return runService(argc, argv, options);
    }
    int serviceInput = -1;
    int serviceOutput = -1;
    const bool part = options.mode == AgentOptions::Mode::SessionPart;
    if (part && !takeServicePipe(serviceInput, serviceOutput)) {
        std::perror("velmora-student: the service's pipe");
        return 1;
    }
    if (waylandSession()) {
        std::fputs(kWaylandRefusal, stderr);
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    // The screen is captured and shown through X11; never let Qt pick another platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (part) {
        // The service marks each line with the session.
        qSetMessagePattern(QStringLiteral("%{message}"));
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora-student"));
    QApplication::setQuitOnLastWindowClosed(false);
    // The service keeps one part per session itself, and a part never gives way to a process
    // the student started.
    QLockFile instance(instanceLockPath());
    if (!part && !instance.tryLock(0)) {
        qWarning().noquote() << "another agent already runs on this display; lock file"
                             << QDir::toNativeSeparators(instance.fileName());
        return 3;
    }
    qInfo().noquote() << "started on display" << qEnvironmentVariable("DISPLAY");
    // The service has told them already.
    for (const QString &warning : part ? QStringList() : options.settings.warnings) {
        qWarning().noquote() << warning;
    }

    ProcessStarter starter;
    if (part) {
        SessionAgent side(options.settings, starter, &CustomCommandRunner::effectiveUserIsRoot);
        SessionPipe pipe(serviceInput, serviceOutput, side);
        QObject::connect(&pipe, &SessionPipe::ended, &app, &QCoreApplication::quit);
        QTimer::singleShot(0, &pipe, &SessionPipe::sendReady);
        return app.exec();
    }
    DBusPowerControl power(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
    Agent::Seams seams;
    seams.power = &power;
    seams.starter = &starter;
    Agent agent(options.settings, seams);
    agent.start();
    return app.exec();
}
