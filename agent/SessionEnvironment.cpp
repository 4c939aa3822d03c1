#include "agent/SessionEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>

namespace sessionenvironment {

namespace {

// An environment is at most a few hundred kilobytes; nothing a process can set costs more.
constexpr qint64 kMaxEnviron = 1024 * 1024;

QByteArray readAt(const QString &path, qint64 limit)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(limit) : QByteArray();
}

QString displayNumber(const QString &display)
{
    const qsizetype colon = display.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        return display;
    }
    const QString number = display.mid(colon + 1);
    const qsizetype dot = number.indexOf(QLatin1Char('.'));
    return dot < 0 ? number : number.left(dot);
}

// The leader and every process below it, leader first.
QList<uint> sessionProcesses(uint leader, const QString &procRoot)
{
    QHash<uint, QList<uint>> children;
    const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const uint pid = entry.toUInt(&numeric);
        if (numeric) {
            const uint parent = parentFromStat(
                readAt(procRoot + QLatin1Char('/') + entry + QStringLiteral("/stat"), 4096));
            children[parent].append(pid);
        }
    }
    QList<uint> found{leader};
    for (qsizetype i = 0; i < found.size(); ++i) {
        found.append(children.value(found[i]));
    }
    return found;
}

} // namespace

std::optional<QProcessEnvironment> find(uint leader, uint uid, const QString &display,
                                        const QString &procRoot)
{
    if (leader == 0) {
        return std::nullopt;
    }
    for (const uint pid : sessionProcesses(leader, procRoot)) {
        const QString base = procRoot + QLatin1Char('/') + QString::number(pid);
        // The process's owner: a root helper of the display manager is no user program.
        if (QFileInfo(base).ownerId() != uid) {
            continue;
        }
        const QProcessEnvironment environment =
            parseEnviron(readAt(base + QStringLiteral("/environ"), kMaxEnviron));
        const QString own = environment.value(QStringLiteral("DISPLAY"));
        if (!own.isEmpty() && (display.isEmpty() || sameDisplay(own, display))) {
            return environment;
        }
    }
    return std::nullopt;
}

QProcessEnvironment parseEnviron(const QByteArray &bytes)
{
    QProcessEnvironment environment;
    for (const QByteArray &entry : bytes.split('\0')) {
        const qsizetype equals = entry.indexOf('=');
        if (equals > 0) {
            environment.insert(QString::fromLocal8Bit(entry.left(equals)),
                               QString::fromLocal8Bit(entry.mid(equals + 1)));
        }
    }
    return environment;
}

uint parentFromStat(const QByteArray &stat)
{
    // "PID (name) STATE PPID ...": the name may hold spaces and parentheses, so read after the
    // last closing one.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0) {
        return 0;
    }
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    return fields.size() >= 2 ? fields[1].toUInt() : 0;
}

bool sameDisplay(const QString &a, const QString &b)
{
    return displayNumber(a) == displayNumber(b) && !displayNumber(a).isEmpty();
}

} // namespace sessionenvironment
