#pragma once

#include "agent/ProgramStarter.h"

// Starts programs for real: QProcess::startDetached, so they outlive the agent and never
// hold its event loop.
class ProcessStarter : public ProgramStarter
{
public:
    QString desktopEntryPath(const QString &id) const override;
    bool hasProgram(const QString &program) const override;
    bool startDetached(const QString &program, const QStringList &arguments) override;
};
