#pragma once

#include <QByteArray>
#include <memory>

struct ssl_ctx_st;

// What every TLS connection of one side shares: TLS 1.3 only, no session tickets, no renewed
// sessions. The console's holds its certificate and key; an agent's trusts no authority at all,
// only the key it was told to (each connection checks it, ChannelEnd).
class TlsContext
{
public:
    // Raises AppError when the two do not make a key pair.
    static std::shared_ptr<TlsContext> forConsole(const QByteArray &certificatePem,
                                                  const QByteArray &privateKeyPem);
    static std::shared_ptr<TlsContext> forAgent();
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;

    ssl_ctx_st *get() const { return m_context; }
    bool isConsole() const { return m_console; }

private:
    TlsContext(ssl_ctx_st *context, bool console) : m_context(context), m_console(console) {}

    ssl_ctx_st *m_context;
    bool m_console;
};
