#pragma once

#include <QString>

struct x509_st;

// How an agent names the console it trusts: the SHA-256 of the console's public key (its DER
// SubjectPublicKeyInfo), 64 lower-case hex digits. A renewed certificate over the same key keeps
// it. The admin computes it with
//   openssl x509 -in console.crt -noout -pubkey | openssl pkey -pubin -outform DER | sha256sum
namespace keyfingerprint {

inline constexpr qsizetype kLength = 64;

// The fingerprint of the certificate's public key; empty when it has none that can be read.
QString ofCertificate(const x509_st *certificate);
// What an admin wrote, in either case, with colons or blanks between the digits as some tools
// print them, as 64 lower-case hex digits; empty when it is not a fingerprint.
QString normalized(const QString &written);

} // namespace keyfingerprint
