#include "protocol/KeyFingerprint.h"

#include <QCryptographicHash>
#include <openssl/x509.h>

namespace keyfingerprint {
namespace {
bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}
} // namespace

QString ofCertificate(const x509_st *certificate)
{
    unsigned char *der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (length <= 0)
        return {};
    const QString fingerprint = QString::fromLatin1(
        QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char *>(der), length),
                                 QCryptographicHash::Sha256)
            .toHex());
    OPENSSL_free(der);
    return fingerprint;
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
