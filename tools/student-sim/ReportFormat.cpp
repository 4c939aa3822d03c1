#include "ReportFormat.h"

namespace {

using Kind = StudentCommand::Kind;

constexpr char16_t kFirstPrintable = 0x20;
constexpr char16_t kDelete = 0x7f;

QString hexEscape(unsigned value)
{
    return QStringLiteral("\\x%1").arg(value, 2, 16, QLatin1Char('0'));
}

} // namespace

QString ReportFormat::command(const StudentCommand &command)
{
    switch (command.kind) {
    case Kind::Message:
    case Kind::Custom:
        return StudentCommand::kindName(command.kind) +
               (command.cut ? QStringLiteral("-CUT ") : QStringLiteral(" ")) +
               escapeText(command.argumentText());
    case Kind::BlackScreen:
        return QStringLiteral("BLACKSCREEN on");
    case Kind::UnblackScreen:
        return QStringLiteral("BLACKSCREEN off");
    case Kind::Screen:
        return QStringLiteral("SCREEN on");
    case Kind::NotScreen:
        return QStringLiteral("SCREEN off");
    case Kind::Image:
        return QStringLiteral("DEMO on");
    case Kind::Stop:
        return QStringLiteral("DEMO off");
    case Kind::Unknown:
        return QStringLiteral("UNKNOWN ") + escapeBytes(command.raw);
    default:
        break;
    }
    return QStringLiteral("COMMAND ") + StudentCommand::kindName(command.kind);
}

QString ReportFormat::escapeText(const QString &text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            line += QStringLiteral("\\\\");
            break;
        case u'\r':
            line += QStringLiteral("\\r");
            break;
        case u'\n':
            line += QStringLiteral("\\n");
            break;
        case u'\t':
            line += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < kFirstPrintable || c.unicode() == kDelete) {
                line += hexEscape(c.unicode());
            } else {
                line += c;
            }
        }
    }
    return line;
}

QString ReportFormat::escapeBytes(QByteArrayView bytes)
{
    QString line;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value == '\\') {
            line += QStringLiteral("\\\\");
        } else if (value >= kFirstPrintable && value < kDelete) {
            line += QLatin1Char(byte);
        } else {
            line += hexEscape(value);
        }
    }
    return line;
}
