#include "protocol/Commands.h"

#include "protocol/TextFraming.h"
#include "text/Cp936.h"

namespace command {
namespace {
// Editors hold line breaks as LF alone; students expect CR LF between lines.
QString withCrLf(const QString &text)
{
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    normal.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return normal;
}
} // namespace

QByteArray message(const QString &text)
{
    return framing::kMessagePrefix.toByteArray() + cp936::encode(withCrLf(text));
}

QByteArray custom(const QString &text)
{
    return framing::kCustomPrefix.toByteArray() + cp936::encode(text);
}

bool isBlank(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() > 32)
            return false;
    }
    return true;
}

} // namespace command
