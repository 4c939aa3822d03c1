#pragma once

#include "protocol/StudentCommand.h"

#include <QByteArrayView>
#include <QString>

// The simulator's output lines, one event per line, "<name> <EVENT> [details]" (README.md).
class ReportFormat
{
public:
    // The event part of a command's line: "COMMAND LOGOFF", "MESSAGE <text>", "SCREEN on", ...
    static QString command(const StudentCommand &command);
    // Text kept on one line: "\" as "\\", CR, LF and tab as \r, \n, \t, other control
    // characters as \xNN.
    static QString escapeText(const QString &text);
    // Bytes that are no text: printable ASCII as is, "\" as "\\", every other byte as \xNN.
    static QString escapeBytes(QByteArrayView bytes);
};
