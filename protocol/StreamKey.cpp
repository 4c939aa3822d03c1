#include "protocol/StreamKey.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <stdexcept>

StreamKey::StreamKey(quint32 id, QByteArrayView key)
{
    if (id == 0 || key.size() != kKeySize)
        return;
    m_id = id;
    std::copy(key.begin(), key.end(), m_key.begin());
}

StreamKey StreamKey::generate()
{
    StreamKey key;
    while (key.m_id == 0) {
        if (RAND_bytes(reinterpret_cast<unsigned char *>(&key.m_id), sizeof key.m_id) != 1 ||
            RAND_bytes(key.m_key.data(), int(key.m_key.size())) != 1)
            throw std::runtime_error("no random bytes for the demonstration key");
    }
    return key;
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
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), m_key.data(), int(m_key.size()),
         reinterpret_cast<const unsigned char *>(signedBytes.data()), size_t(signedBytes.size()),
         digest, &length);
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
