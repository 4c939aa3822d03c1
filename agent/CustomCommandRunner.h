#pragma once

#include <QString>
#include <functional>

class ProgramStarter;

// Runs the teacher's custom command line through /bin/sh as the logged-in user, and only where
// the admin allowed it: anyone on the LAN who can pose as the console could send one. Never as
// root, whatever the settings say.
class CustomCommandRunner
{
public:
    using RootCheck = std::function<bool()>;

    CustomCommandRunner(bool allowed, ProgramStarter &starter, RootCheck isRoot);

    // Why a command was not started (an empty reason: it was); refused: it may not run here,
    // else it could not be started.
    struct Result
    {
        bool refused = false;
        QString reason;
    };
    Result run(const QString &commandLine);

    // The process's effective user is root.
    static bool effectiveUserIsRoot();

private:
    bool m_allowed;
    ProgramStarter &m_starter;
    RootCheck m_isRoot;
};
