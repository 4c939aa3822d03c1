#include "agent/CustomCommandRunner.h"

#include "agent/ProgramStarter.h"

#include <unistd.h>
#include <utility>

CustomCommandRunner::CustomCommandRunner(bool allowed, ProgramStarter &starter, RootCheck isRoot)
    : m_allowed(allowed), m_starter(starter), m_isRoot(std::move(isRoot))
{
}

QString CustomCommandRunner::run(const QString &commandLine)
{
    if (!m_allowed) {
        return QStringLiteral("custom commands are not allowed (AllowCustomCommands)");
    }
    if (m_isRoot()) {
        return QStringLiteral("custom commands are never run as root");
    }
    if (commandLine.trimmed().isEmpty()) {
        return QStringLiteral("empty command");
    }
    if (commandLine.contains(QChar(0))) {
        return QStringLiteral("command holds a zero byte");
    }
    if (!m_starter.startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine})) {
        return QStringLiteral("cannot start /bin/sh");
    }
    return QString();
}

bool CustomCommandRunner::effectiveUserIsRoot()
{
    return geteuid() == 0;
}
