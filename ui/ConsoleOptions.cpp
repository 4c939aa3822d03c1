#include "ui/ConsoleOptions.h"

#include "platform/ProgramPath.h"

ConsoleOptions ConsoleOptions::forThisProgram()
{
    return ConsoleOptions{programpath::settingsFilePath(), programpath::programFilePath(),
                          QStringLiteral("/etc/xdg/autostart"), nullptr};
}
