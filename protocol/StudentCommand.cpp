#include "protocol/StudentCommand.h"

#include "text/Cp936.h"

#include <utility>

StudentCommand::StudentCommand(Kind kind, QByteArray raw, QByteArray argument, bool cut)
    : kind(kind), argument(std::move(argument)), raw(std::move(raw)), cut(cut)
{
}

QString StudentCommand::kindName(Kind kind)
{
    switch (kind) {
    case Kind::LogOff:
        return QStringLiteral("LOGOFF");
    case Kind::Restart:
        return QStringLiteral("RESTART");
    case Kind::ShutDown:
        return QStringLiteral("SHUTDOWN");
    case Kind::Notepad:
        return QStringLiteral("NOTEPAD");
    case Kind::Explorer:
        return QStringLiteral("EXPLORER");
    case Kind::WordPad:
        return QStringLiteral("WORDPAD");
    case Kind::Paint:
        return QStringLiteral("PAINT");
    case Kind::Word:
        return QStringLiteral("WORD");
    case Kind::Message:
        return QStringLiteral("MESSAGE");
    case Kind::Custom:
        return QStringLiteral("CUSTOM");
    case Kind::BlackScreen:
        return QStringLiteral("BLACKSCREEN");
    case Kind::UnblackScreen:
        return QStringLiteral("UNBLACKSCREEN");
    case Kind::Screen:
        return QStringLiteral("SCREEN");
    case Kind::NotScreen:
        return QStringLiteral("NOTSCREEN");
    case Kind::Image:
        return QStringLiteral("IMAGE");
    case Kind::Stop:
        return QStringLiteral("STOP");
    case Kind::Unknown:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

QString StudentCommand::argumentText() const
{
    return cp936::decode(argument);
}
