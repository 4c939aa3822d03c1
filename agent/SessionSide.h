#pragma once

#include "agent/AgentSettings.h"

#include <QHostAddress>
#include <QString>

// What the console has put on the student's display: kept by whoever holds the console
// connection and applied whole, so a display part that starts again shows it as it was.
struct DisplayState
{
    bool blackout = false;
    bool demonstrating = false;
    bool sendingScreen = false;
    // The console (whose datagrams alone are shown, and to whom the screen goes) and our own
    // address on the connection (the screen's source).
    QHostAddress console;
    QHostAddress local;
    // Where the console's Velmora stream comes, shown in place of the older stream once it
    // does; 0: the older stream alone.
    quint16 streamPort = 0;

    bool operator==(const DisplayState &other) const = default;
};

// The part of the agent that needs the student's display and user: the windows, the screen,
// the programs and custom commands. In one process with the connection, or in each graphical
// session apart from the service that holds it.
class SessionSide
{
public:
    virtual ~SessionSide() = default;
    virtual void apply(const DisplayState &state) = 0;
    // cut: the console sent more than a student takes; the window says so.
    virtual void showMessage(const QString &text, bool cut) = 0;
    virtual void launch(AgentSettings::Application application) = 0;
    virtual void runCustom(const QString &commandLine) = 0;
};
