#include "net/TlsContext.h"

#include "system/AppError.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

namespace {

QString lastError()
{
    char text[256];
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    return QString::fromLatin1(text);
}

SSL_CTX *newContext(bool console)
{
    SSL_CTX *context = SSL_CTX_new(console ? TLS_server_method() : TLS_client_method());
    if (!context)
        throw AppError(QStringLiteral("cannot make a TLS context: ") + lastError());
    SSL_CTX_set_min_proto_version(context, TLS1_3_VERSION);
    SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    SSL_CTX_set_num_tickets(context, 0);
    // An idle connection gives its buffers back: a room of agents costs little while quiet.
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS);
    return context;
}

} // namespace

std::shared_ptr<TlsContext> TlsContext::forConsole(const QByteArray &certificatePem,
                                                   const QByteArray &privateKeyPem)
{
    std::shared_ptr<TlsContext> result(new TlsContext(newContext(true), true));
    BIO *certificateBio = BIO_new_mem_buf(certificatePem.constData(), int(certificatePem.size()));
    X509 *certificate = PEM_read_bio_X509(certificateBio, nullptr, nullptr, nullptr);
    BIO_free(certificateBio);
    BIO *keyBio = BIO_new_mem_buf(privateKeyPem.constData(), int(privateKeyPem.size()));
    EVP_PKEY *key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(keyBio);
    const bool usable = certificate && key &&
                        SSL_CTX_use_certificate(result->m_context, certificate) == 1 &&
                        SSL_CTX_use_PrivateKey(result->m_context, key) == 1 &&
                        SSL_CTX_check_private_key(result->m_context) == 1;
    X509_free(certificate);
    EVP_PKEY_free(key);
    if (!usable)
        throw AppError(QStringLiteral("the console's certificate and key do not make a pair: ") +
                       lastError());
    return result;
}

std::shared_ptr<TlsContext> TlsContext::forAgent()
{
    return std::shared_ptr<TlsContext>(new TlsContext(newContext(false), false));
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(m_context);
}
