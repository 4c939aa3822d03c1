// The integer syntax of the port boxes and of server.ini against a plain reference reading.
#include "fuzz/FuzzInput.h"
#include "fuzz/SlowestInput.h"
#include "text/IntegerText.h"

#include <QString>
#include <cstdlib>
#include <optional>

namespace {

std::optional<qint64> digitsValue(const QString &digits, int base)
{
    if (digits.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : digits) {
        const int digit = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
        if (digit < 0 || digit >= base || c.unicode() > 127)
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFLL)
            return std::nullopt;
    }
    return value;
}

std::optional<qint32> reference(const QString &text)
{
    QString rest = text;
    while (rest.startsWith(u' '))
        rest.remove(0, 1);
    for (const QString &prefix : {QStringLiteral("0x"), QStringLiteral("0X"), QStringLiteral("$"),
                                  QStringLiteral("x"), QStringLiteral("X")}) {
        if (rest.startsWith(prefix)) {
            const auto value = digitsValue(rest.mid(prefix.size()), 16);
            return value ? std::optional<qint32>(qint32(quint32(*value))) : std::nullopt;
        }
    }
    const bool negative = rest.startsWith(u'-');
    if (negative || rest.startsWith(u'+'))
        rest.remove(0, 1);
    const auto value = digitsValue(rest, 10);
    if (!value || *value > 0x7FFFFFFFLL + (negative ? 1 : 0))
        return std::nullopt;
    return qint32(negative ? -*value : *value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    FuzzInput input(data, size);
    const bool utf16 = input.byte() & 1;
    const QByteArray bytes = input.rest();
    const QString text =
        utf16 ? QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2)
              : QString::fromLatin1(bytes);
    qint32 value = 12345;
    const bool ok = integertext::parseInteger(text, value);
    const auto expected = reference(text);
    if (ok != expected.has_value() || (ok && value != *expected) || (!ok && value != 12345))
        std::abort();
    QString setting = text;
    if (setting.size() > 2 && (setting.startsWith(u"0x") || setting.startsWith(u"0X")))
        setting.replace(0, 2, QStringLiteral("$"));
    const auto read = reference(setting);
    if (integertext::readIntegerSetting(text, -7) != (read ? *read : -7))
        std::abort();
    return 0;
}
