#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <map>

class TServerClientWinSocket;

// Keeps each student's commands apart from a message or custom command written before them.
// Such a text has no end mark: the agent ends it where the stream falls quiet. So what follows
// it to that student waits, in order, until the student has acknowledged the text's every byte
// and the console's wait has passed; other students are not held up.
class CommandPacer : public QObject
{
    Q_OBJECT

public:
    explicit CommandPacer(QObject *parent = nullptr);

    // Writes the text now, or queues it behind what this connection already waits for.
    void write(TServerClientWinSocket *connection, const QByteArray &text);
    // The connections are about to close: everything held goes out now, in order. Better
    // joined to the message than lost, and an agent undoes the rest when its connection ends.
    void writeHeldNow();

private:
    struct Held
    {
        QPointer<TServerClientWinSocket> connection;
        QList<QByteArray> waiting;
        // Since when the student has acknowledged everything; invalid while it has not.
        QElapsedTimer acknowledged;
    };

    void tick();
    // Writes what waits up to and including the next text that holds the connection again;
    // false when nothing is held any more.
    bool release(Held &held);

    std::map<quint64, Held> m_held;
    QTimer m_tick;
};
