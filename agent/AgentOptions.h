#pragma once

#include "agent/AgentSettings.h"

#include <QString>
#include <QStringList>

// The command line: --console ADDRESS [--port N] [--image-port N] [--mouse-port N] override
// student.ini for one run; --config names another file; --help prints the usage.
struct AgentOptions
{
    enum class Outcome { Run, Help, Error };

    Outcome outcome = Outcome::Run;
    // The usage text (Help) or what was wrong (Error).
    QString text;
    AgentSettings settings;

    // arguments include the program name first, as QCoreApplication::arguments() gives them.
    static AgentOptions parse(const QStringList &arguments);
    static QString usage();
};
