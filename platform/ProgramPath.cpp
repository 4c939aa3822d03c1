#include "platform/ProgramPath.h"

#include <QFileInfo>

namespace programpath {
namespace {
constexpr char kSelfLink[] = "/proc/self/exe";
constexpr char kSettingsFileName[] = "server.ini";
}

QString programFilePath()
{
    return QFileInfo(QLatin1String(kSelfLink)).symLinkTarget();
}

QString programDirectory()
{
    const QString file = programFilePath();
    return file.left(file.lastIndexOf(u'/') + 1);
}

QString settingsFilePath()
{
    return programDirectory() + QLatin1String(kSettingsFileName);
}

} // namespace programpath
