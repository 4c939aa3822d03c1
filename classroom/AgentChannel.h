#pragma once

#include "classroom/AgentAnswers.h"
#include "classroom/StudentLinks.h"
#include "protocol/ChannelMessage.h"
#include "protocol/StreamKey.h"

#include <QObject>
#include <memory>

class ChannelServer;
class Roster;
class RosterModel;
struct ConsoleKey;

// The students on the trusted channel. Each agent's hello makes it one roster row like any
// student's, with its logged-in user (a later hello changes the user); commands reach it inside
// the channel, the same texts with
// an id, and no pause after a message (each text is a message of its own). What it answers (a
// refusal or failure, a display part restarted) is logged and told to the teacher. The
// demonstration's key goes to every agent when a demonstration starts and to each that joins
// during one.
class AgentChannel : public QObject, public StudentLinks
{
    Q_OBJECT

public:
    AgentChannel(Roster &roster, const RosterModel &model, QObject *parent = nullptr);
    ~AgentChannel() override;

    // Listens on port, presenting key. Raises ESocketError (the port) or AppError (the key).
    void open(int port, const ConsoleKey &key);
    // Every agent leaves (its row goes), then the port closes.
    void close();
    // Null until open.
    ChannelServer *server() const { return m_server; }

    bool sendText(quint64 key, const QByteArray &text) override;
    int sendTextToAll(const QByteArray &text) override;

    // A valid key goes to every agent now and to each that joins while it lasts; an invalid one
    // ends it (agents drop theirs at "STOP").
    void setDemonstrationKey(const StreamKey &key);
    // The Velmora stream's port the welcome names.
    void setStreamPort(quint16 port) { m_streamPort = port; }

signals:
    // An agent said who it is: its MAC (6 bytes, or empty), address (host order) and name.
    void agentSeen(quint64 key, const QByteArray &mac, quint32 address, const QByteArray &name);
    // A small picture of an agent's screen (the wall's), as it came.
    void tileReceived(quint64 key, const QByteArray &jpeg);
    // What the teacher should read in the status bar.
    void notice(const QString &text);

private:
    void greeted(quint64 key, const ChannelMessage &hello);
    void received(quint64 key, const ChannelMessage &message);
    // "pc-07 (10.1.5.7)" for the row of key.
    QString student(quint64 key) const;

    Roster &m_roster;
    const RosterModel &m_model;
    ChannelServer *m_server = nullptr;
    AgentAnswers m_answers;
    StreamKey m_demonstrationKey;
    quint16 m_streamPort;
};
