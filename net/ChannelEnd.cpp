#include "net/ChannelEnd.h"

#include "net/TlsContext.h"
#include "protocol/KeyFingerprint.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace {

// One TLS record's worth of plaintext per read.
constexpr int kReadChunk = 16 * 1024;

QString sslErrors()
{
    QString text;
    while (const unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        text += (text.isEmpty() ? QString() : QStringLiteral("; ")) + QString::fromLatin1(line);
    }
    return text.isEmpty() ? QStringLiteral("the connection broke off") : text;
}

QString fingerprintOf(X509 *certificate)
{
    unsigned char *der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (length <= 0)
        return {};
    const QString fingerprint =
        keyfingerprint::ofPublicKey(QByteArrayView(reinterpret_cast<const char *>(der), length));
    OPENSSL_free(der);
    return fingerprint;
}

} // namespace

ChannelEnd::ChannelEnd(std::shared_ptr<TlsContext> context, KeyCheck check)
    : m_context(std::move(context)), m_check(std::move(check)),
      m_bound(m_context->isConsole() ? ChannelMessage::kMaxHello : ChannelMessage::kMaxFromConsole)
{
    m_ssl = SSL_new(m_context->get());
    m_in = BIO_new(BIO_s_mem());
    m_out = BIO_new(BIO_s_mem());
    // An empty input is "wait for more", not the end of the stream.
    BIO_set_mem_eof_return(m_in, -1);
    SSL_set_bio(m_ssl, m_in, m_out);
    SSL_set_app_data(m_ssl, this);
    if (m_context->isConsole()) {
        SSL_set_accept_state(m_ssl);
    } else {
        SSL_set_connect_state(m_ssl);
        SSL_set_verify(m_ssl, SSL_VERIFY_PEER, &ChannelEnd::verifyKey);
    }
}

ChannelEnd::~ChannelEnd()
{
    SSL_free(m_ssl);
}

// The console's certificate is its own, signed by nobody: only its key counts, and only once.
int ChannelEnd::verifyKey(int, x509_store_ctx_st *store)
{
    auto *ssl =
        static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *self = static_cast<ChannelEnd *>(SSL_get_app_data(ssl));
    if (X509_STORE_CTX_get_error_depth(store) != 0)
        return 1;
    if (!self->m_keyJudged) {
        self->m_keyJudged = true;
        self->m_peerFingerprint = fingerprintOf(X509_STORE_CTX_get_current_cert(store));
        bool trusted = false;
        try {
            trusted = !self->m_peerFingerprint.isEmpty() && self->m_check &&
                      self->m_check(self->m_peerFingerprint);
        } catch (...) {
            trusted = false;
        }
        self->m_keyRefused = !trusted;
    }
    if (self->m_keyRefused) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_REJECTED);
        return 0;
    }
    X509_STORE_CTX_set_error(store, X509_V_OK);
    return 1;
}

void ChannelEnd::start()
{
    step();
}

bool ChannelEnd::fail(const QString &error)
{
    if (m_state == State::Handshaking || m_state == State::Open) {
        m_state = State::Failed;
        m_error = error;
    }
    return false;
}

bool ChannelEnd::step()
{
    ERR_clear_error();
    const int result = SSL_do_handshake(m_ssl);
    if (result == 1) {
        m_state = State::Open;
        return true;
    }
    const int code = SSL_get_error(m_ssl, result);
    if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE)
        return true;
    if (m_context->isConsole() &&
        ERR_GET_REASON(ERR_peek_error()) == SSL_R_SSLV3_ALERT_BAD_CERTIFICATE)
        m_keyRefused = true;
    return fail(m_keyRefused && !m_context->isConsole()
                    ? QStringLiteral("the console presents key %1, not the one trusted")
                          .arg(m_peerFingerprint)
                    : sslErrors());
}

bool ChannelEnd::receive(QByteArrayView bytes, QList<ChannelMessage> &messages)
{
    if (m_state != State::Handshaking && m_state != State::Open)
        return false;
    if (!bytes.isEmpty() && BIO_write(m_in, bytes.data(), int(bytes.size())) != bytes.size())
        return fail(QStringLiteral("out of memory"));
    if (m_state == State::Handshaking && (!step() || m_state == State::Handshaking))
        return m_state == State::Handshaking;
    return readMessages(messages);
}

// Each chunk is taken apart at once, so what is held never passes one message and one chunk.
bool ChannelEnd::readMessages(QList<ChannelMessage> &messages)
{
    char chunk[kReadChunk];
    for (;;) {
        ERR_clear_error();
        const int count = SSL_read(m_ssl, chunk, sizeof chunk);
        if (count <= 0) {
            const int code = SSL_get_error(m_ssl, count);
            if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE)
                return true;
            if (code == SSL_ERROR_ZERO_RETURN) {
                m_state = State::Closed;
                return false;
            }
            return fail(sslErrors());
        }
        m_plain.append(chunk, count);
        qsizetype offset = 0;
        for (;;) {
            ChannelMessage message;
            qsizetype consumed = 0;
            const auto parsed = ChannelMessage::parse(QByteArrayView(m_plain).sliced(offset),
                                                      m_bound, message, consumed);
            if (parsed == ChannelMessage::Parse::Incomplete)
                break;
            if (parsed == ChannelMessage::Parse::TooLong)
                return fail(QStringLiteral("a message longer than %1 bytes").arg(m_bound));
            if (parsed == ChannelMessage::Parse::Invalid)
                return fail(QStringLiteral("bytes that are no channel message"));
            offset += consumed;
            ++m_received;
            if (parsed == ChannelMessage::Parse::Complete)
                messages.append(message);
        }
        m_plain.remove(0, offset);
    }
}

void ChannelEnd::sendEncoded(const QByteArray &bytes)
{
    if (!isOpen())
        return;
    ERR_clear_error();
    if (SSL_write(m_ssl, bytes.constData(), int(bytes.size())) != bytes.size())
        fail(sslErrors());
}

QByteArray ChannelEnd::takeOutgoing()
{
    const size_t pending = BIO_ctrl_pending(m_out);
    if (pending == 0)
        return {};
    QByteArray bytes(qsizetype(pending), Qt::Uninitialized);
    const int read = BIO_read(m_out, bytes.data(), int(pending));
    bytes.truncate(std::max(read, 0));
    return bytes;
}
