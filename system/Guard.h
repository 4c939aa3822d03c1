#pragma once

#include <QString>
#include <functional>

// The one place where failures of event handlers stop: no exception ever unwinds into Qt.
namespace guard {

using Reporter = std::function<void(const QString &message)>;

// Installs what is done with a failure's message (the console shows its error box).
void setReporter(Reporter reporter);

// Logs a failure's message as an error event and hands it to the reporter, if any.
void report(const QString &message);

// Runs one handler; any exception it raises is reported and goes no further.
void run(const std::function<void()> &handler);

} // namespace guard
