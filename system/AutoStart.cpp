#include "system/AutoStart.h"

#include "system/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr char kSuffix[] = ".desktop";
constexpr char kIcon[] = "org.velmora.Teacher";
constexpr char kComment[] = "Velmora classroom teacher console";
const QString kCommentZh = QString::fromUtf8("Velmora多媒体网络教室教师机");
const QString kCannotWrite = QString::fromUtf8("无法设置开机自动运行：不能写入 ");
const QString kCannotRemove = QString::fromUtf8("无法取消开机自动运行：不能删除 ");

// Inside double quotes these four keep their literal meaning only behind a backslash.
QString quoteArgument(const QString &argument)
{
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

// The string-value escapes of a desktop entry, applied over the Exec quoting.
QString escapeValue(const QString &value)
{
    QString escaped;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// True when the entry exists and does not hide itself.
bool startsProgram(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == "Hidden" &&
            line.mid(equals + 1).trimmed() == "true")
            return false;
    }
    return true;
}
} // namespace

AutoStart::AutoStart(const QString &directory, const QString &systemDirectory)
    : m_directory(directory), m_systemDirectory(systemDirectory)
{
}

QString AutoStart::entryPath(const QString &directory, const QString &name) const
{
    return QDir(directory).filePath(name + QLatin1String(kSuffix));
}

QString AutoStart::execValue(const QString &path)
{
    return escapeValue(quoteArgument(path)).replace(u'%', QStringLiteral("%%"));
}

void AutoStart::setAutoRun(const QString &name, const QString &path, bool enabled) const
{
    const QString own = entryPath(m_directory, name);
    const QByteArray head =
        QByteArrayLiteral("[Desktop Entry]\nType=Application\nName=") + name.toUtf8() + '\n';
    if (enabled) {
        writeEntry(name, head + "Comment=" + kComment + "\nComment[zh_CN]=" + kCommentZh.toUtf8() +
                             "\nExec=" + execValue(path).toUtf8() + "\nIcon=" + kIcon +
                             "\nTerminal=false\n");
        return;
    }
    // A machine-wide entry cannot be removed by a user: their own hidden entry turns it off.
    if (!m_systemDirectory.isEmpty() && startsProgram(entryPath(m_systemDirectory, name))) {
        writeEntry(name, head + "Hidden=true\n");
        return;
    }
    if (QFileInfo::exists(own) && !QFile::remove(own))
        throw AppError(kCannotRemove + own);
}

void AutoStart::writeEntry(const QString &name, const QByteArray &entry) const
{
    const QString path = entryPath(m_directory, name);
    QSaveFile file(path);
    if (!QDir().mkpath(m_directory) || !file.open(QIODevice::WriteOnly) ||
        file.write(entry) != entry.size() || !file.commit())
        throw AppError(kCannotWrite + path);
}

bool AutoStart::isAutoRun(const QString &name) const
{
    const QString own = entryPath(m_directory, name);
    if (QFileInfo::exists(own))
        return startsProgram(own);
    return !m_systemDirectory.isEmpty() && startsProgram(entryPath(m_systemDirectory, name));
}
