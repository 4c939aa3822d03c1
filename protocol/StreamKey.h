#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>
#include <memory>

struct evp_mac_ctx_st;

// The key of one demonstration on the Velmora stream: handed to our agents over the trusted
// channel, it tags every datagram so that an agent holding it shows nothing another host forged.
// Id 0 means "no key": datagrams then carry a zero tag that no key verifies.
class StreamKey
{
public:
    static constexpr qsizetype kKeySize = 32;
    static constexpr qsizetype kTagSize = 16;

    StreamKey() = default;
    // A key from the channel; an id of 0 or a key of the wrong size gives no key.
    StreamKey(quint32 id, QByteArrayView key);
    // A fresh random key with a random non-zero id (the system's random source).
    static StreamKey generate();

    bool isValid() const { return m_id != 0; }
    quint32 id() const { return m_id; }
    QByteArray bytes() const;

    // HMAC-SHA-256 of the signed bytes, its first 16 bytes; zeros without a key.
    std::array<std::uint8_t, kTagSize> tag(QByteArrayView signedBytes) const;
    // Compares in constant time; never true without a key.
    bool verifies(QByteArrayView signedBytes, QByteArrayView tag) const;

    bool operator==(const StreamKey &other) const;

private:
    void prepareMac();

    quint32 m_id = 0;
    std::array<std::uint8_t, kKeySize> m_key{};
    // HMAC-SHA-256 keyed once, never changed after: every tag starts from a copy of it, so
    // copies of the key on other threads may share it.
    std::shared_ptr<const evp_mac_ctx_st> m_mac;
};
