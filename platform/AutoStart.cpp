#include "platform/AutoStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr char kSuffix[] = ".desktop";
}

AutoStart::AutoStart(const QString &directory)
    : m_directory(directory)
{
}

QString AutoStart::entryPath(const QString &name) const
{
    return QDir(m_directory).filePath(name + QLatin1String(kSuffix));
}

void AutoStart::setAutoRun(const QString &name, const QString &path, bool enabled) const
{
    if (!enabled) {
        QFile::remove(entryPath(name));
        return;
    }
    if (!QDir().mkpath(m_directory))
        return;
    // Exec holds the bare path, as the console has always stored it: no quotes, no arguments.
    const QByteArray entry = QByteArrayLiteral("[Desktop Entry]\n"
                                               "Type=Application\n"
                                               "Name=")
                             + name.toUtf8() + QByteArrayLiteral("\nExec=") + path.toUtf8() + '\n';
    QSaveFile file(entryPath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    if (file.write(entry) != entry.size()) {
        file.cancelWriting();
        return;
    }
    file.commit();
}

bool AutoStart::isAutoRun(const QString &name) const
{
    return QFileInfo(entryPath(name)).isFile();
}
