#include "agent/ProcessStarter.h"

#include <QProcess>
#include <QStandardPaths>

QString ProcessStarter::desktopEntryPath(const QString &id) const
{
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
}

bool ProcessStarter::hasProgram(const QString &program) const
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

bool ProcessStarter::startDetached(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}
