#pragma once

#include <QString>

// Ends the session or powers the computer off or down; tests record instead of doing it.
class PowerControl
{
public:
    enum class Action { LogOff, Reboot, PowerOff };

    virtual ~PowerControl() = default;
    // Asks for the action; a refusal or failure is logged, never raised.
    virtual void request(Action action) = 0;
};
