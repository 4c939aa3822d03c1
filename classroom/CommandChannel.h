#pragma once

#include <QByteArray>

class RosterModel;
class TServerClientWinSocket;
class TServerWinSocket;

// Writes command texts to every connected student, or to the student of one roster row.
class CommandChannel
{
public:
    CommandChannel(TServerWinSocket *server, const RosterModel *roster);

    // Each open connection gets the text once, in order of acceptance.
    void SendToAll(const QByteArray &text) const;
    // The connection the row stands for, whatever its caption says; a row that does not
    // exist sends nothing.
    void SendToRow(int index, const QByteArray &text) const;
    // The open connection with this key (RosterModel::key); none, or one being closed: nothing.
    void SendToKey(quint64 key, const QByteArray &text) const;

    const RosterModel &roster() const { return *m_roster; }

private:
    TServerClientWinSocket *connectionOf(quint64 key) const;

    TServerWinSocket *m_server;
    const RosterModel *m_roster;
};
