#pragma once

#include <QString>
#include <functional>

// Ends the session or powers the computer off or down; tests record instead of doing it.
class PowerControl
{
public:
    enum class Action { LogOff, Reboot, PowerOff };
    // Once, when the action was refused (not allowed to this agent) or failed, with why.
    using Refusal = std::function<void(bool refused, const QString &reason)>;

    virtual ~PowerControl() = default;
    // Asks for the action; a refusal or failure is logged, never raised, and told to refusal.
    virtual void request(Action action, Refusal refusal = {}) = 0;
};
