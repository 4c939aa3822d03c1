#pragma once

#include <QByteArray>

class RosterModel;
class TServerWinSocket;

// Writes command texts to every connected student, or to the student of one roster row.
class CommandChannel
{
public:
    CommandChannel(TServerWinSocket *server, const RosterModel *roster);

    // Each open connection gets the text once, in order of acceptance.
    void SendToAll(const QByteArray &text) const;
    // The first open connection whose computer name, asked afresh, equals the row's caption;
    // a row that does not exist sends nothing.
    void SendToRow(int index, const QByteArray &text) const;

private:
    TServerWinSocket *m_server;
    const RosterModel *m_roster;
};
