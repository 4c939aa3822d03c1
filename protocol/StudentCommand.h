#pragma once

#include <QByteArray>
#include <QString>

// One command text as a student agent understood it from the command stream.
struct StudentCommand
{
    enum class Kind {
        LogOff,
        Restart,
        ShutDown,
        Notepad,
        Explorer,
        WordPad,
        Paint,
        Word,
        Message,
        Custom,
        BlackScreen,
        UnblackScreen,
        Screen,
        NotScreen,
        Image,
        Stop,
        Unknown,
    };

    StudentCommand() = default;
    StudentCommand(Kind kind, QByteArray raw, QByteArray argument = {}, bool cut = false);

    Kind kind = Kind::Unknown;
    // The message or custom-command bytes after the prefix, in code page 936; empty otherwise.
    QByteArray argument;
    // Every byte this command consumed from the stream, prefix included.
    QByteArray raw;
    // A message or custom command that went on past the bound: the argument holds what came
    // before it (whole characters only).
    bool cut = false;

    // Upper-case keyword used in reports and test messages ("LOGOFF", "NOTSCREEN", ...).
    static QString kindName(Kind kind);
    QString argumentText() const;

    bool operator==(const StudentCommand &other) const = default;
};
