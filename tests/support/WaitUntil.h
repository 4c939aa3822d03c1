#pragma once

#include <functional>

// Turns the event loop until the condition holds or the time is up; returns the condition.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// Turns the event loop for a while, for checks that something does not happen.
void settle(int milliseconds = 100);
