#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <functional>

#include "classroom/RosterModel.h"
#include "classroom/TServerConnectionStatus.h"
#include "net/ESocketError.h"

class TServerClientWinSocket;
class TServerWinSocket;

// Keeps the roster rows, the student list and the count in step with the students: one row from
// a command connection's arrival (or a channel agent's hello) to its departure, keyed by the
// connection.
class Roster : public QObject
{
    Q_OBJECT

public:
    // abandonFrame runs first on every departure and failure: a frame being demonstrated is
    // dropped so the next tick starts a fresh one.
    Roster(RosterModel *model, std::function<void()> abandonFrame, QObject *parent = nullptr);

    // The command server's three events (ServerSocket1ClientConnect, ...Disconnect, ...Error).
    void clientConnected(TServerClientWinSocket *socket);
    void clientDisconnected(TServerClientWinSocket *socket);
    void clientFailed(TServerClientWinSocket *socket, TErrorEvent event, int &errorCode);

    // A channel agent said hello from address:port (host order): its row, named by the reverse
    // lookup as any student's, by the name it gave until then; user fills the sixth column.
    void agentJoined(quint64 key, quint32 address, quint16 port, const QByteArray &hostName,
                     const QByteArray &user);
    void agentLeft(quint64 key);
    // The agent of key said again who is logged in (a student logged in or out).
    void setUser(quint64 key, const QByteArray &user);

    // The header click: remembers the column and sorts the rows by it once.
    void sortByColumn(int column);

    int StudentCount() const { return m_studentCount; }
    int SortColumn() const { return m_sortColumn; }
    const QList<TServerConnectionStatus *> &StudentList() const { return m_studentList; }
    const TServerConnectionStatus &CurStudent() const { return m_curStudent; }

    // The connect time as shown: the system's long time format, time of day only.
    static QString connectTimeText(const QTime &time);

signals:
    // The connection with this key got its row, or lost it; countText is what status panel 0
    // shows from now on: "现在学生人数是:" followed by the count.
    void studentJoined(quint64 key, const QString &countText);
    void studentLeft(quint64 key, const QString &countText);

private:
    // PeerName is the caption the row has: names are looked up once, off this thread.
    void fill(TServerClientWinSocket *socket, const QByteArray &peerName);
    void nameArrived(quint64 key, const QByteArray &name);
    void addRow(quint64 key, quint32 address, const QByteArray &caption, const QByteArray &user);
    void removeRow(quint64 key);

    RosterModel *m_model;
    std::function<void()> m_abandonFrame;
    TServerConnectionStatus m_curStudent;
    QList<TServerConnectionStatus *> m_studentList;
    int m_studentCount = 0;
    int m_sortColumn = 0;
    // The name lookups still awaited, by the row's key, so that a departure cancels its own.
    QHash<quint64, quint64> m_lookups;
};
