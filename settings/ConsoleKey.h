#pragma once

#include "settings/SettingsLocation.h"

#include <QByteArray>
#include <QString>

// The console's identity on the trusted channel: an EC key pair (P-256) and a self-signed
// certificate over it. Agents pin the key, not the certificate, so a renewed certificate keeps
// the fingerprint of its public key (keyfingerprint::ofCertificate).
struct ConsoleKey
{
    static constexpr const char *kAdminFolder = SettingsLocation::kSystemDirectory;
    static constexpr const char *kCertificateFile = "console.crt";
    static constexpr const char *kKeyFile = "console.key";

    QByteArray certificatePem;
    QByteArray privateKeyPem;
    QString fingerprint;
    // The folder the pair was read from or made in; empty for a pair that lives in memory.
    QString folder;

    // The admin's pair in adminFolder when both its files are there and readable; else the
    // console's own in dataFolder, made there at the first start (the key readable by its owner
    // only). A pair that is there but broken, or half there, is never replaced: that would
    // change the key every pinned agent trusts. Raises AppError when no pair can be had.
    static ConsoleKey loadOrCreate(const QString &adminFolder, const QString &dataFolder);
    // A new pair, kept nowhere.
    static ConsoleKey generate();
    // $XDG_DATA_HOME/velmora when that is an absolute path, else ~/.local/share/velmora.
    static QString userDataFolder();
};
