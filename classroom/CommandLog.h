#pragma once

#include <QByteArray>
#include <QString>

// One event-log line for every command the console sends: who sent it (the local user), to
// whom (all students, or one row's caption and address) and what (the command's name, the
// teacher's text of a message or custom command decoded), so an administrator can tell
// afterwards who was told to shut down, and by whom.
namespace commandlog {

// The command text in words, e.g. "03 (shut down)" or "message \"hello\"".
QString describe(const QByteArray &text);
// "all students (3 connected)".
QString allStudents(int connections);
// "pc-07 (10.1.5.7)"; a row without a name says so.
QString student(const QByteArray &caption, const QByteArray &address);
// Writes the line: "<user> sent <what> to <recipient>".
void sent(const QByteArray &text, const QString &recipient);

} // namespace commandlog
