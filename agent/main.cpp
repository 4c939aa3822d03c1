#include "agent/Agent.h"
#include "agent/AgentOptions.h"
#include "agent/DBusPowerControl.h"
#include "agent/ProcessStarter.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <cstdio>

namespace {

const char kWaylandRefusal[] =
    "velmora-student: 本程序需要 X11 会话，不支持 Wayland。请在登录界面选择 X11（Xorg）会话。\n"
    "velmora-student: this program needs an X11 session; Wayland is not supported. Choose an "
    "X11 (Xorg) session at the login screen.\n";
const char kNoDisplay[] =
    "velmora-student: 没有 X11 显示（DISPLAY 未设置），本程序须在桌面会话中运行。\n"
    "velmora-student: no X11 display (DISPLAY is not set); run it in the "
    "student's desktop session.\n";

// One agent per X display: a second one (a manual start beside the autostarted one) would
// show up twice in the console and fight the first over the keyboard grab.
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

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const AgentOptions options = AgentOptions::parse(arguments);
    if (options.outcome == AgentOptions::Outcome::Help) {
        std::fputs(options.text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options.outcome == AgentOptions::Outcome::Error) {
        std::fputs(("velmora-student: " + options.text).toLocal8Bit().constData(), stderr);
        return 2;
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
    qSetMessagePattern(QStringLiteral("velmora-student: %{message}"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora-student"));
    QApplication::setQuitOnLastWindowClosed(false);
    QLockFile instance(instanceLockPath());
    if (!instance.tryLock(0)) {
        qWarning().noquote() << "another agent already runs on this display; lock file"
                             << QDir::toNativeSeparators(instance.fileName());
        return 3;
    }
    qInfo().noquote() << "started on display" << qEnvironmentVariable("DISPLAY");
    for (const QString &warning : options.settings.warnings) {
        qWarning().noquote() << warning;
    }

    DBusPowerControl power(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
    ProcessStarter starter;
    Agent agent(options.settings, {&power, &starter, {}, {}});
    agent.start();
    return app.exec();
}
