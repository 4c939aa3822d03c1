#include "protocol/StreamKey.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <stdexcept>

namespace {

struct MacFree
{
    void operator()(EVP_MAC_CTX *mac) const { EVP_MAC_CTX_free(mac); }
};

using MacPtr = std::unique_ptr<EVP_MAC_CTX, MacFree>;

} // namespace

StreamKey::StreamKey(quint32 id, QByteArrayView key)
{
    if (id == 0 || key.size() != kKeySize)
        return;
    m_id = id;
    std::copy(key.begin(), key.end(), m_key.begin());
    prepareMac();
}

StreamKey StreamKey::generate()
{
    StreamKey key;
    while (key.m_id == 0) {
        if (RAND_bytes(reinterpret_cast<unsigned char *>(&key.m_id), sizeof key.m_id) != 1 ||
            RAND_bytes(key.m_key.data(), int(key.m_key.size())) != 1)
            throw std::runtime_error("no random bytes for the demonstration key");
    }
    key.prepareMac();
    return key;
}

// Fetching the algorithm and padding the key cost as much as tagging a whole datagram: done once
// per key, not per datagram. Left empty where it fails; tag() then does it all each time.
void StreamKey::prepareMac()
{
    EVP_MAC *algorithm = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    MacPtr mac(algorithm ? EVP_MAC_CTX_new(algorithm) : nullptr);
    EVP_MAC_free(algorithm);
    char digest[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string("digest", digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (mac && EVP_MAC_init(mac.get(), m_key.data(), m_key.size(), params) == 1)
        m_mac = std::shared_ptr<const EVP_MAC_CTX>(mac.release(), MacFree());
}

bool StreamKey::operator==(const StreamKey &other) const
{
    return m_id == other.m_id && m_key == other.m_key;
}

QByteArray StreamKey::bytes() const
{
    return QByteArray(reinterpret_cast<const char *>(m_key.data()), kKeySize);
}

std::array<std::uint8_t, StreamKey::kTagSize> StreamKey::tag(QByteArrayView signedBytes) const
{
    std::array<std::uint8_t, kTagSize> result{};
    if (!isValid())
        return result;
    const auto *data = reinterpret_cast<const unsigned char *>(signedBytes.data());
    const auto size = std::size_t(signedBytes.size());
    unsigned char digest[EVP_MAX_MD_SIZE];
    const MacPtr mac(m_mac ? EVP_MAC_CTX_dup(m_mac.get()) : nullptr);
    std::size_t length = 0;
    if (!mac || EVP_MAC_update(mac.get(), data, size) != 1 ||
        EVP_MAC_final(mac.get(), digest, &length, sizeof digest) != 1) {
        unsigned int oneShot = 0;
        HMAC(EVP_sha256(), m_key.data(), int(m_key.size()), data, size, digest, &oneShot);
    }
    std::copy_n(digest, kTagSize, result.begin());
    return result;
}

bool StreamKey::verifies(QByteArrayView signedBytes, QByteArrayView tag) const
{
    if (!isValid() || tag.size() != kTagSize)
        return false;
    const auto expected = this->tag(signedBytes);
    return CRYPTO_memcmp(expected.data(), tag.data(), kTagSize) == 0;
}
