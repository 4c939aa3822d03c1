#pragma once

#include "agent/AgentSettings.h"

#include <QString>
#include <QStringList>

// The command line: --console ADDRESS [--port N] [--image-port N] [--mouse-port N] override
// student.ini for one run; --config names another file; --service runs the system service,
// --session-part (the service's own) the display part it starts in a session; --help prints
// the usage.
struct AgentOptions
{
    enum class Outcome { Run, Help, Error };
    enum class Mode { InSession, Service, SessionPart };

    Outcome outcome = Outcome::Run;
    Mode mode = Mode::InSession;
    QString config;
    // The usage text (Help) or what was wrong (Error).
    QString text;
    AgentSettings settings;

    // arguments include the program name first, as QCoreApplication::arguments() gives them.
    static AgentOptions parse(const QStringList &arguments);
    static QString usage();
};
