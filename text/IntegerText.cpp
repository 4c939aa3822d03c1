#include "text/IntegerText.h"

#include <limits>

namespace integertext {
namespace {

constexpr qint64 kMaxMagnitudeNegative = qint64(std::numeric_limits<qint32>::max()) + 1;
constexpr quint64 kMaxUnsigned = std::numeric_limits<quint32>::max();

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Only ASCII digits count: QChar::isDigit would also accept other scripts' digits.
int decimalDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') ? u - u'0' : -1;
}

bool parseHex(const QString &text, qsizetype pos, qint32 &value)
{
    if (pos >= text.size())
        return false;
    quint64 result = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = hexDigit(text.at(pos));
        if (digit < 0)
            return false;
        result = result * 16 + quint64(digit);
        if (result > kMaxUnsigned)
            return false;
    }
    value = qint32(quint32(result));
    return true;
}

bool parseDecimal(const QString &text, qsizetype pos, qint32 &value)
{
    bool negative = false;
    if (pos < text.size() && (text.at(pos) == u'+' || text.at(pos) == u'-')) {
        negative = text.at(pos) == u'-';
        ++pos;
    }
    if (pos >= text.size())
        return false;
    const qint64 limit = negative ? kMaxMagnitudeNegative : kMaxMagnitudeNegative - 1;
    qint64 magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = decimalDigit(text.at(pos));
        if (digit < 0)
            return false;
        magnitude = magnitude * 10 + digit;
        if (magnitude > limit)
            return false;
    }
    value = qint32(negative ? -magnitude : magnitude);
    return true;
}

} // namespace

bool parseInteger(const QString &text, qint32 &value)
{
    qsizetype pos = 0;
    while (pos < text.size() && text.at(pos) == u' ')
        ++pos;
    const QStringView rest = QStringView(text).mid(pos);
    if (rest.startsWith(u'$') || rest.startsWith(u'x') || rest.startsWith(u'X'))
        return parseHex(text, pos + 1, value);
    if (rest.startsWith(u"0x") || rest.startsWith(u"0X"))
        return parseHex(text, pos + 2, value);
    return parseDecimal(text, pos, value);
}

QString invalidIntegerMessage(const QString &text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

qint32 readIntegerSetting(const QString &text, qint32 fallback)
{
    QString converted = text;
    if (converted.size() > 2 && (converted.startsWith(u"0x") || converted.startsWith(u"0X")))
        converted.replace(0, 2, QStringLiteral("$"));
    qint32 value = 0;
    return parseInteger(converted, value) ? value : fallback;
}

} // namespace integertext
