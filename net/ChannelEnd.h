#pragma once

#include "protocol/ChannelMessage.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

class TlsContext;
struct ssl_st;
struct bio_st;

// One end of the trusted channel without its socket: TLS 1.3 over whatever bytes its transport
// carries, and the length-prefixed messages inside. The transport feeds receive() what it read
// and writes what takeOutgoing() gives; nothing here waits or touches a descriptor.
class ChannelEnd
{
public:
    enum class State { Handshaking, Open, Failed, Closed };
    // The agent's judgement of the console's key (its fingerprint), once per handshake; false
    // refuses the console, and the handshake ends with an alert that tells it so.
    using KeyCheck = std::function<bool(const QString &fingerprint)>;

    // The console's end when context is the console's; an agent's checks the key with check.
    explicit ChannelEnd(std::shared_ptr<TlsContext> context, KeyCheck check = {});
    ~ChannelEnd();
    ChannelEnd(const ChannelEnd &) = delete;
    ChannelEnd &operator=(const ChannelEnd &) = delete;

    // The agent speaks first: its opening goes to takeOutgoing().
    void start();
    // What the transport read; the messages it completes are appended to messages. False once
    // the channel failed or the peer closed it (state() and error() say which and why).
    bool receive(QByteArrayView bytes, QList<ChannelMessage> &messages);
    // Queues the message for the peer; nothing before the channel is open.
    void send(const ChannelMessage &message) { sendEncoded(message.encode()); }
    // The same for a message already encoded (one encoding for many peers).
    void sendEncoded(const QByteArray &bytes);
    // The bytes due to the peer since the last call.
    QByteArray takeOutgoing();

    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::Open; }
    QString error() const { return m_error; }
    // The agent refused this console's key (the console's end); this end refused the
    // console's (the agent's).
    bool keyRefused() const { return m_keyRefused; }
    // The console's key as the agent saw it; empty on the console's end.
    QString peerFingerprint() const { return m_peerFingerprint; }
    // The largest message taken from the peer from now on (the header not counted).
    void setBound(qsizetype bound) { m_bound = bound; }
    // The messages received so far.
    int received() const { return m_received; }

private:
    static int verifyKey(int preverified, struct x509_store_ctx_st *store);
    bool step();
    bool readMessages(QList<ChannelMessage> &messages);
    bool fail(const QString &error);

    std::shared_ptr<TlsContext> m_context;
    KeyCheck m_check;
    ssl_st *m_ssl = nullptr;
    bio_st *m_in = nullptr;
    bio_st *m_out = nullptr;
    State m_state = State::Handshaking;
    QString m_error;
    QString m_peerFingerprint;
    bool m_keyRefused = false;
    bool m_keyJudged = false;
    qsizetype m_bound;
    QByteArray m_plain;
    int m_received = 0;
};
