#pragma once

#include "classroom/StudentLinks.h"

#include <memory>

class CommandPacer;
class TServerClientWinSocket;
class TServerWinSocket;

// The students of the command server's plaintext connections. After a message or custom
// command, a student's next texts wait until the agent has seen that text end (CommandPacer).
class PlaintextLinks : public StudentLinks
{
public:
    explicit PlaintextLinks(TServerWinSocket *server);
    ~PlaintextLinks() override;

    bool sendText(quint64 key, const QByteArray &text) override;
    int sendTextToAll(const QByteArray &text) override;
    void sendHeldNow() override;

private:
    TServerClientWinSocket *connectionOf(quint64 key) const;

    TServerWinSocket *m_server;
    std::unique_ptr<CommandPacer> m_pacer;
};
