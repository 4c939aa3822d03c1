#include "ui/ConsoleOptions.h"

#include "classroom/ScreenFrameSource.h"
#include "platform/ProgramPath.h"

ConsoleOptions ConsoleOptions::forThisProgram()
{
    return ConsoleOptions{programpath::settingsFilePath(), programpath::programFilePath(),
                          QStringLiteral("/etc/xdg/autostart"),
                          std::make_shared<ScreenFrameSource>()};
}
