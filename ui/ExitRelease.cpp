#include "ui/ExitRelease.h"

#include <cstdlib>

namespace exit_release {
namespace {
std::function<void()> &armed()
{
    static std::function<void()> action;
    return action;
}

void runArmed()
{
    std::function<void()> action = std::move(armed());
    armed() = nullptr;
    if (action)
        action();
}
} // namespace

void arm(std::function<void()> action)
{
    static const bool registered = [] {
        // The action's holder exists before the handler is registered, so it outlives it.
        armed();
        return std::atexit(&runArmed) == 0;
    }();
    if (registered)
        armed() = std::move(action);
}

void disarm()
{
    armed() = nullptr;
}

} // namespace exit_release
