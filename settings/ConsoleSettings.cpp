#include "settings/ConsoleSettings.h"

#include "text/IntegerText.h"
#include "text/ProfileFile.h"

namespace {
const QString kSection = QStringLiteral("SysInfo");
const QString kAgentSection = QStringLiteral("Agent");

qint32 readKey(const QString &path, const QString &key, qint32 fallback,
               const QString &section = kSection)
{
    return integertext::readIntegerSetting(
        profilefile::readProfileString(path, section, key, QString()), fallback);
}
} // namespace

ConsoleSettings ConsoleSettings::read(const QString &iniPath)
{
    return read(QStringList{iniPath});
}

ConsoleSettings ConsoleSettings::read(const QStringList &iniPaths)
{
    ConsoleSettings s;
    for (const QString &iniPath : iniPaths)
        s.readOver(iniPath);
    return s;
}

void ConsoleSettings::readOver(const QString &iniPath)
{
    ConsoleSettings &s = *this;
    s.ImagePort = readKey(iniPath, QStringLiteral("UDP_Port1"), s.ImagePort);
    s.MousePort = readKey(iniPath, QStringLiteral("UDP_Port2"), s.MousePort);
    s.ImageQuality = readKey(iniPath, QStringLiteral("ImageSpeed"), s.ImageQuality);
    s.CommandPort = readKey(iniPath, QStringLiteral("Socket_Port"), s.CommandPort);
    s.AgentPort = readKey(iniPath, QStringLiteral("AgentPort"), s.AgentPort, kAgentSection);
}
