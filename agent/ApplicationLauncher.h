#pragma once

#include "agent/AgentSettings.h"

#include <QString>

class ProgramStarter;

// Starts the lab's program for one of the console's five applications: the first candidate of
// its table row that is installed, a desktop file ID through gio launch (or gtk-launch), a
// command line split into program and arguments (no shell).
class ApplicationLauncher
{
public:
    ApplicationLauncher(const AgentSettings &settings, ProgramStarter &starter);

    // What was started, or an empty text when nothing could be (the reason is logged).
    QString launch(AgentSettings::Application application);

private:
    bool launchDesktopEntry(const QString &id, const QString &path);

    std::array<QStringList, AgentSettings::kApplicationCount> m_table;
    ProgramStarter &m_starter;
};
