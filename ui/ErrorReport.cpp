#include "ui/ErrorReport.h"

#include "system/Guard.h"
#include "ui/Prompter.h"

namespace error_report {
namespace {
bool g_boxOpen = false;

void show(const QString &message)
{
    if (g_boxOpen)
        return;
    g_boxOpen = true;
    Prompter::current().error(boxText(message));
    g_boxOpen = false;
}
} // namespace

QString boxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void install()
{
    guard::setReporter(&show);
}

} // namespace error_report
