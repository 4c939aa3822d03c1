#include "bench/BenchSettings.h"

#include <QFile>

BenchSettings::BenchSettings(const QByteArray &extraLines)
    : m_iniPath(m_dir.filePath(QStringLiteral("server.ini")))
{
    QFile ini(m_iniPath);
    ini.open(QIODevice::WriteOnly);
    ini.write("[SysInfo]\nSocket_Port=0\nUDP_Port1=0\nUDP_Port2=0\n" + extraLines);
}

ConsoleOptions BenchSettings::options(std::shared_ptr<FrameSource> frameSource) const
{
    return ConsoleOptions{m_iniPath, QString(), m_dir.path(), std::move(frameSource)};
}
