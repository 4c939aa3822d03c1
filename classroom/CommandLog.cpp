#include "classroom/CommandLog.h"

#include "protocol/Commands.h"
#include "protocol/TextFraming.h"
#include "system/EventLog.h"
#include "text/Cp936.h"

#include <pwd.h>
#include <unistd.h>

namespace commandlog {
namespace {

struct Named
{
    const char *text;
    const char *name;
};
const Named kFixed[] = {
    {command::LogOff, "log off"},
    {command::Restart, "restart"},
    {command::ShutDown, "shut down"},
    {command::Notepad, "start Notepad"},
    {command::Explorer, "start Explorer"},
    {command::WordPad, "start WordPad"},
    {command::Paint, "start Paint"},
    {command::Word, "start Word"},
    {command::BlackScreen, "black out"},
    {command::UnblackScreen, "end black-out"},
    {command::Screen, "start sending the screen"},
    {command::NotScreen, "stop sending the screen"},
    {command::Image, "demonstration starts"},
    {command::Stop, "demonstration stops"},
};

QString quoted(const QByteArray &bytes)
{
    return QLatin1Char('"') + cp936::decode(bytes) + QLatin1Char('"');
}

// The login name of the account the console runs under, read once.
QString userName()
{
    static const QString name = [] {
        for (const char *variable : {"USER", "LOGNAME"}) {
            const QString value = qEnvironmentVariable(variable);
            if (!value.isEmpty())
                return value;
        }
        const passwd *account = ::getpwuid(::geteuid());
        return account ? QString::fromLocal8Bit(account->pw_name)
                       : QStringLiteral("uid %1").arg(::geteuid());
    }();
    return name;
}

} // namespace

QString describe(const QByteArray &text)
{
    for (const Named &fixed : kFixed) {
        if (text == fixed.text)
            return QStringLiteral("%1 (%2)").arg(QLatin1String(fixed.text),
                                                 QLatin1String(fixed.name));
    }
    // No fixed text begins with either prefix, so they are safe to test.
    if (text.startsWith(framing::kCustomPrefix))
        return QStringLiteral("custom command ") + quoted(text.mid(framing::kCustomPrefix.size()));
    if (text.startsWith(framing::kMessagePrefix))
        return QStringLiteral("message ") + quoted(text.mid(framing::kMessagePrefix.size()));
    return QStringLiteral("text ") + quoted(text);
}

QString allStudents(int connections)
{
    return QStringLiteral("all students (%1 connected)").arg(connections);
}

QString student(const QByteArray &caption, const QByteArray &address)
{
    const QString name = caption.isEmpty() ? QStringLiteral("(no name)") : cp936::decode(caption);
    return QStringLiteral("%1 (%2)").arg(name, QString::fromLatin1(address));
}

void sent(const QByteArray &text, const QString &recipient)
{
    eventlog::info(QStringLiteral("%1 sent %2 to %3").arg(userName(), describe(text), recipient));
}

} // namespace commandlog
