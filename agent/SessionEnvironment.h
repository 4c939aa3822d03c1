#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <optional>

// Finds the environment a session's own programs run with (DISPLAY, XAUTHORITY, the session
// bus, the desktop's names): that of a process of the session's user, started under the
// session's leader, whose DISPLAY is the session's. Display managers keep the X authority in
// places of their own; the session's programs are told where, so the part is told the same.
namespace sessionenvironment {

// The environment of the first such process; nothing while the session has none yet.
// display empty: any DISPLAY.
std::optional<QProcessEnvironment> find(uint leader, uint uid, const QString &display,
                                        const QString &procRoot = QStringLiteral("/proc"));

// /proc/PID/environ: NUL-separated NAME=value entries.
QProcessEnvironment parseEnviron(const QByteArray &bytes);
// The parent's PID from /proc/PID/stat (the name in parentheses may hold anything); 0 when
// the text is not a stat line.
uint parentFromStat(const QByteArray &stat);
// ":0", ":0.0" and "unix:0" name one display.
bool sameDisplay(const QString &a, const QString &b);

} // namespace sessionenvironment
