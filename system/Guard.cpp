#include "system/Guard.h"

#include "system/EventLog.h"

#include <exception>

namespace guard {
namespace {
Reporter &installed()
{
    static Reporter reporter;
    return reporter;
}
} // namespace

void setReporter(Reporter reporter)
{
    installed() = std::move(reporter);
}

// Logged before it is shown: a box that is dropped, or closed unread, still leaves its line.
void report(const QString &message)
{
    eventlog::error(message);
    if (installed())
        installed()(message);
}

void run(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        report(QString::fromUtf8(e.what()));
    } catch (...) {
        report(QStringLiteral("Unknown failure"));
    }
}

} // namespace guard
