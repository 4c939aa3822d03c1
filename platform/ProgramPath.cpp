#include "platform/ProgramPath.h"

#include "VelmoraVersion.h"

#include <QDir>
#include <QFileInfo>

namespace programpath {
namespace {
constexpr char kSelfLink[] = "/proc/self/exe";
constexpr char kSettingsFileName[] = "server.ini";
constexpr char kReadmeFileName[] = "readme.txt";
} // namespace

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

QString readmeFilePath(const QString &programDirectory)
{
    const QDir folder(programDirectory);
    for (const QString &candidate :
         {folder.filePath(QLatin1String(kReadmeFileName)),
          QDir::cleanPath(folder.filePath(QLatin1String(velmora_build::kBinToData)) +
                          QLatin1Char('/') + QLatin1String(kReadmeFileName))}) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QString();
}

} // namespace programpath
