#pragma once

#include <QByteArray>
#include <QList>
#include <memory>

class PlaintextLinks;
class RosterModel;
class StudentLinks;
class TServerWinSocket;

// Writes command texts to every connected student, or to the student of one roster row, by
// whichever way reaches it: the plaintext command connections first, then any way added (the
// trusted channel). Nothing is dropped and no student holds up another.
class CommandChannel
{
public:
    CommandChannel(TServerWinSocket *server, const RosterModel *roster);
    ~CommandChannel();

    // Students reached another way; the channel does not own them.
    void addLinks(StudentLinks *links) { m_links.append(links); }

    // Each open connection gets the text once, in order of acceptance, way after way.
    void SendToAll(const QByteArray &text) const;
    // The student the row stands for, whatever its caption says; a row that does not exist
    // sends nothing.
    void SendToRow(int index, const QByteArray &text) const;
    // The student of this key (RosterModel::key); none, or one being closed: nothing.
    void SendToKey(quint64 key, const QByteArray &text) const;

    // The connections are about to close: what waits behind a message goes out now.
    void sendHeldNow() const;

    const RosterModel &roster() const { return *m_roster; }

private:
    const RosterModel *m_roster;
    // Sending changes only what waits to be written, so the channel's users hold it const.
    std::unique_ptr<PlaintextLinks> m_plaintext;
    QList<StudentLinks *> m_links;
};
