#include "ui/ConsoleOptions.h"

#include "settings/ConsoleKey.h"
#include "settings/SettingsLocation.h"
#include "system/ProgramPath.h"

#include <QDir>

#include <unistd.h>

namespace {
constexpr char kSystemAutostart[] = "/etc/xdg/autostart";
}

ConsoleOptions ConsoleOptions::forThisProgram()
{
    const SettingsLocation location = SettingsLocation::forThisProgram();
    QStringList reads = location.readPaths();
    reads.removeLast();
    ConsoleOptions options{location.writePath(),
                           programpath::programFilePath(),
                           QString(),
                           nullptr,
                           reads,
                           QString(),
                           programpath::readmeFilePath(),
                           ConsoleKey::userDataFolder(),
                           QLatin1String(ConsoleKey::kAdminFolder)};
    if (geteuid() == 0) {
        options.autostartDirectory = QLatin1String(kSystemAutostart);
    } else {
        options.autostartDirectory =
            QDir(SettingsLocation::userConfigHome()).filePath(QStringLiteral("autostart"));
        options.autostartSystemDirectory = QLatin1String(kSystemAutostart);
    }
    return options;
}
