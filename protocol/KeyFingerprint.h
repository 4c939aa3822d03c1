#pragma once

#include <QByteArrayView>
#include <QString>

// How an agent names the console it trusts: the SHA-256 of the console's public key (its DER
// SubjectPublicKeyInfo), 64 lower-case hex digits. A renewed certificate over the same key keeps
// it. The admin computes it with
//   openssl x509 -in console.crt -noout -pubkey | openssl pkey -pubin -outform DER | sha256sum
namespace keyfingerprint {

inline constexpr qsizetype kLength = 64;

QString ofPublicKey(QByteArrayView subjectPublicKeyInfo);
// What an admin wrote, in either case, with colons or blanks between the digits as some tools
// print them, as 64 lower-case hex digits; empty when it is not a fingerprint.
QString normalized(const QString &written);

} // namespace keyfingerprint
