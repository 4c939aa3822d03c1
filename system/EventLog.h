#pragma once

#include <QString>

// What the console did and what went wrong, one line per event on standard error, in the form
// the system journal keeps: a "<N>" priority prefix (3 error, 4 warning, 6 information), then
// the local time and the text. An admin reads afterwards who was sent what, and when.
namespace eventlog {

enum class Priority { Error = 3, Warning = 4, Info = 6 };

// One line; line breaks inside text are written as "\n" so each event stays one line.
void write(Priority priority, const QString &text);

inline void error(const QString &text)
{
    write(Priority::Error, text);
}
inline void warning(const QString &text)
{
    write(Priority::Warning, text);
}
inline void info(const QString &text)
{
    write(Priority::Info, text);
}

// The line as written, without its trailing newline (tests read it from here).
QString format(Priority priority, const QString &text);

} // namespace eventlog
