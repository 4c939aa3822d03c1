#include "settings/SettingsLocation.h"

#include "VelmoraVersion.h"
#include "system/ProgramPath.h"

#include <QDir>
#include <QFileInfo>

namespace {
constexpr char kFileName[] = "server.ini";
constexpr char kOwnFolder[] = "velmora";

QString fileIn(const QString &directory)
{
    return QDir(directory).filePath(QLatin1String(kFileName));
}

// A base directory of the XDG rules: the variable's value when it is an absolute path, else the
// folder under the home directory.
QString xdgHome(const char *variable, const QString &underHome)
{
    const QString configured = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(configured))
        return configured;
    return QDir::home().filePath(underHome);
}
} // namespace

SettingsLocation::SettingsLocation(const QString &programDirectory, const QString &systemDirectory,
                                   const QString &userDirectory, const QString &installedData)
    : m_programDirectory(programDirectory), m_systemDirectory(systemDirectory),
      m_userDirectory(userDirectory), m_installedData(installedData)
{
}

SettingsLocation SettingsLocation::forThisProgram()
{
    const QString program = programpath::programDirectory();
    return SettingsLocation(program, QLatin1String(kSystemDirectory),
                            QDir(userConfigHome()).filePath(QLatin1String(kOwnFolder)),
                            QDir(program).filePath(QLatin1String(velmora_build::kBinToData)));
}

QString SettingsLocation::userConfigHome()
{
    return xdgHome("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString SettingsLocation::userDataHome()
{
    return xdgHome("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString SettingsLocation::besideProgram() const
{
    return fileIn(m_programDirectory);
}

bool SettingsLocation::isPortable() const
{
    if (QFileInfo::exists(besideProgram()))
        return true;
    const QFileInfo folder(m_programDirectory);
    return folder.isDir() && folder.isWritable() && !QFileInfo(m_installedData).isDir();
}

QStringList SettingsLocation::readPaths() const
{
    if (isPortable())
        return {besideProgram()};
    return {fileIn(m_systemDirectory), fileIn(m_userDirectory)};
}

QString SettingsLocation::writePath() const
{
    return isPortable() ? besideProgram() : fileIn(m_userDirectory);
}
