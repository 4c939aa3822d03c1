#include "platform/Guard.h"

#include <cstdio>
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

void report(const QString &message)
{
    if (installed()) {
        installed()(message);
        return;
    }
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
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
