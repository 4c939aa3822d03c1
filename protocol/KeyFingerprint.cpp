#include "protocol/KeyFingerprint.h"

#include <QCryptographicHash>

namespace keyfingerprint {
namespace {
bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}
} // namespace

QString ofPublicKey(QByteArrayView subjectPublicKeyInfo)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(subjectPublicKeyInfo, QCryptographicHash::Sha256).toHex());
}

QString normalized(const QString &written)
{
    QString digits;
    digits.reserve(kLength);
    for (const QChar c : written) {
        if (c == QLatin1Char(':') || c.isSpace())
            continue;
        if (!isHexDigit(c) || digits.size() == kLength)
            return {};
        digits.append(c.toLower());
    }
    return digits.size() == kLength ? digits : QString();
}

} // namespace keyfingerprint
