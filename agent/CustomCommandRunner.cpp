#include "agent/CustomCommandRunner.h"

#include "agent/ProgramStarter.h"

#include <unistd.h>
#include <utility>

CustomCommandRunner::CustomCommandRunner(bool allowed, ProgramStarter &starter, RootCheck isRoot)
    : m_allowed(allowed), m_starter(starter), m_isRoot(std::move(isRoot))
{
}

CustomCommandRunner::Result CustomCommandRunner::run(const QString &commandLine)
{
    if (!m_allowed) {
        return {true, QStringLiteral("custom commands are not allowed (AllowCustomCommands)")};
    }
    if (m_isRoot()) {
        return {true, QStringLiteral("custom commands are never run as root")};
    }
    if (commandLine.trimmed().isEmpty()) {
        return {true, QStringLiteral("empty command")};
    }
    if (commandLine.contains(QChar(0))) {
        return {true, QStringLiteral("command holds a zero byte")};
    }
    if (!m_starter.startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine})) {
        return {false, QStringLiteral("cannot start /bin/sh")};
    }
    return {};
}

bool CustomCommandRunner::effectiveUserIsRoot()
{
    return geteuid() == 0;
}
