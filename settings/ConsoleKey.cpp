#include "settings/ConsoleKey.h"

#include "identity/ComputerName.h"
#include "protocol/KeyFingerprint.h"
#include "system/AppError.h"
#include "system/EventLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <memory>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace {

// The key outlives any certificate made for it; agents never look at the dates.
constexpr long kValiditySeconds = 100L * 365 * 24 * 3600;

struct Free
{
    void operator()(X509 *certificate) const { X509_free(certificate); }
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
    void operator()(BIO *bio) const { BIO_free(bio); }
};
using Certificate = std::unique_ptr<X509, Free>;
using Key = std::unique_ptr<EVP_PKEY, Free>;
using Bio = std::unique_ptr<BIO, Free>;

QByteArray drained(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, qsizetype(size));
}

// The pair as read, checked to belong together; an empty fingerprint when it does not.
ConsoleKey parsed(const QByteArray &certificatePem, const QByteArray &keyPem)
{
    Bio certificateBio(BIO_new_mem_buf(certificatePem.constData(), int(certificatePem.size())));
    Bio keyBio(BIO_new_mem_buf(keyPem.constData(), int(keyPem.size())));
    const Certificate certificate(
        PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr));
    const Key key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    ERR_clear_error();
    ConsoleKey pair{certificatePem, keyPem, QString(), QString()};
    if (certificate && key && X509_check_private_key(certificate.get(), key.get()) == 1)
        pair.fingerprint = keyfingerprint::ofCertificate(certificate.get());
    ERR_clear_error();
    return pair;
}

QString fileIn(const QString &folder, const char *name)
{
    return QDir(folder).filePath(QLatin1String(name));
}

bool readable(const QString &path)
{
    const QFileInfo file(path);
    return file.isFile() && file.isReadable();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QString::fromUtf8("无法读取教师机密钥文件 %1").arg(path));
    return file.readAll();
}

ConsoleKey readPair(const QString &folder)
{
    ConsoleKey pair = parsed(contents(fileIn(folder, ConsoleKey::kCertificateFile)),
                             contents(fileIn(folder, ConsoleKey::kKeyFile)));
    if (pair.fingerprint.isEmpty())
        throw AppError(QString::fromUtf8("%1 中的教师机证书与密钥不成对或已损坏")
                           .arg(QDir::toNativeSeparators(folder)));
    pair.folder = folder;
    return pair;
}

void write(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions)
{
    QSaveFile file(path);
    // The permissions are set before a byte is written: the key is never readable by others.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(permissions) ||
        file.write(bytes) != bytes.size() || !file.commit())
        throw AppError(QString::fromUtf8("无法保存教师机密钥到 %1").arg(path));
}

} // namespace

ConsoleKey ConsoleKey::generate()
{
    const Key key(EVP_EC_gen("P-256"));
    const Certificate certificate(X509_new());
    if (!key || !certificate)
        throw AppError(QString::fromUtf8("无法生成教师机密钥"));
    X509 *x = certificate.get();
    X509_set_version(x, X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(x), long(QDateTime::currentSecsSinceEpoch()));
    X509_gmtime_adj(X509_getm_notBefore(x), 0);
    X509_gmtime_adj(X509_getm_notAfter(x), kValiditySeconds);
    X509_set_pubkey(x, key.get());
    const QByteArray name = "Velmora console " + computername::computerName().toUtf8();
    X509_NAME *subject = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char *>(name.constData()),
                               int(name.size()), -1, 0);
    X509_set_issuer_name(x, subject);
    const Bio certificateOut(BIO_new(BIO_s_mem()));
    const Bio keyOut(BIO_new(BIO_s_mem()));
    if (X509_sign(x, key.get(), EVP_sha256()) <= 0 ||
        !PEM_write_bio_X509(certificateOut.get(), x) ||
        !PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr))
        throw AppError(QString::fromUtf8("无法生成教师机密钥"));
    ERR_clear_error();
    return ConsoleKey{drained(certificateOut.get()), drained(keyOut.get()),
                      keyfingerprint::ofCertificate(x), QString()};
}

ConsoleKey ConsoleKey::loadOrCreate(const QString &adminFolder, const QString &dataFolder)
{
    const QString adminCertificate = fileIn(adminFolder, kCertificateFile);
    const QString adminKey = fileIn(adminFolder, kKeyFile);
    if (readable(adminCertificate) && readable(adminKey))
        return readPair(adminFolder);
    if (QFileInfo::exists(adminKey))
        eventlog::warning(QStringLiteral("%1 cannot be read by this user: the console uses its "
                                         "own key in %2")
                              .arg(adminKey, dataFolder));
    const bool certificateThere = QFileInfo::exists(fileIn(dataFolder, kCertificateFile));
    const bool keyThere = QFileInfo::exists(fileIn(dataFolder, kKeyFile));
    if (certificateThere || keyThere)
        return readPair(dataFolder);
    if (!QDir().mkpath(dataFolder))
        throw AppError(QString::fromUtf8("无法创建文件夹 %1").arg(dataFolder));
    ConsoleKey pair = generate();
    write(fileIn(dataFolder, kKeyFile), pair.privateKeyPem, QFile::ReadOwner | QFile::WriteOwner);
    write(fileIn(dataFolder, kCertificateFile), pair.certificatePem,
          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    pair.folder = dataFolder;
    eventlog::info(QStringLiteral("made the console's key in %1; its fingerprint is %2")
                       .arg(dataFolder, pair.fingerprint));
    return pair;
}

QString ConsoleKey::userDataFolder()
{
    return QDir(SettingsLocation::userDataHome()).filePath(QStringLiteral("velmora"));
}
