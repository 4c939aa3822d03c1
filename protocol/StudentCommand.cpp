#include "protocol/StudentCommand.h"

#include "protocol/Commands.h"
#include "text/Cp936.h"

#include <utility>

StudentCommand::StudentCommand(Kind kind, QByteArray raw, QByteArray argument, bool cut)
    : kind(kind), argument(std::move(argument)), raw(std::move(raw)), cut(cut)
{
}

// The texts that are words name themselves.
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
        return QLatin1String(command::BlackScreen);
    case Kind::UnblackScreen:
        return QLatin1String(command::UnblackScreen);
    case Kind::Screen:
        return QLatin1String(command::Screen);
    case Kind::NotScreen:
        return QLatin1String(command::NotScreen);
    case Kind::Image:
        return QLatin1String(command::Image);
    case Kind::Stop:
        return QLatin1String(command::Stop);
    case Kind::Unknown:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

QString StudentCommand::argumentText() const
{
    return cp936::decode(argument);
}
