#pragma once

#include <QString>
#include <QStringList>

// Starts programs detached from the agent; tests record instead of starting anything.
class ProgramStarter
{
public:
    virtual ~ProgramStarter() = default;
    // The installed desktop file of this ID (XDG data directories); empty when there is none.
    virtual QString desktopEntryPath(const QString &id) const = 0;
    // Whether this program name is found on PATH (or is an executable path).
    virtual bool hasProgram(const QString &program) const = 0;
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
};
