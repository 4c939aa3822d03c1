#pragma once

#include <QByteArray>
#include <memory>

class CommandPacer;
class RosterModel;
class TServerClientWinSocket;
class TServerWinSocket;

// Writes command texts to every connected student, or to the student of one roster row. After
// a message or custom command, a student's next commands wait until the agent has seen that
// text end (CommandPacer); nothing is dropped and other students are not held up.
class CommandChannel
{
public:
    CommandChannel(TServerWinSocket *server, const RosterModel *roster);
    ~CommandChannel();

    // Each open connection gets the text once, in order of acceptance.
    void SendToAll(const QByteArray &text) const;
    // The connection the row stands for, whatever its caption says; a row that does not
    // exist sends nothing.
    void SendToRow(int index, const QByteArray &text) const;
    // The open connection with this key (RosterModel::key); none, or one being closed: nothing.
    void SendToKey(quint64 key, const QByteArray &text) const;

    // The connections are about to close: what waits behind a message goes out now.
    void sendHeldNow() const;

    const RosterModel &roster() const { return *m_roster; }

private:
    TServerClientWinSocket *connectionOf(quint64 key) const;

    TServerWinSocket *m_server;
    const RosterModel *m_roster;
    // Sending changes only what waits to be written, so the channel's users hold it const.
    std::unique_ptr<CommandPacer> m_pacer;
};
