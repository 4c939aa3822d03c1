#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <map>

// What channel agents answer to the console's commands. Each command sent gets an id; a refusal
// or failure that comes back is logged once per student and command, and gives the status bar's
// text for that command, counting the students that answered so.
class AgentAnswers
{
public:
    // Answers to the oldest commands beyond this many are no longer told apart.
    static constexpr int kRemembered = 256;

    // The id of text, sent now to one student or to all (never 0).
    quint32 sent(const QByteArray &text);
    // The student of key, shown as student, answered command id; the status text, or empty
    // when the id is not one sent lately or this student had answered it already.
    QString answered(quint32 id, quint64 key, const QString &student, bool refused,
                     const QString &reason);

    // The command's name as the menus show it ("关机", "发送消息", ...).
    static QString caption(const QByteArray &text);

private:
    struct Sent
    {
        QByteArray text;
        QSet<quint64> answered;
    };

    std::map<quint32, Sent> m_sent;
    quint32 m_lastId = 0;
};
