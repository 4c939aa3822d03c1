#include "classroom/Roster.h"

#include "net/TServerClientWinSocket.h"
#include "platform/Cp936.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTime>

namespace {
const QString kCountPrefix = QString::fromUtf8("现在学生人数是:");
const QByteArray kNotBlackedOut = cp936::encode(QString::fromUtf8("否"));
} // namespace

Roster::Roster(RosterModel *model, std::function<void()> abandonFrame, QObject *parent)
    : QObject(parent), m_model(model), m_abandonFrame(std::move(abandonFrame))
{
}

void Roster::fill(TServerClientWinSocket *socket)
{
    m_curStudent.Id = -1;
    m_curStudent.UserName = QStringLiteral("Anonymous");
    m_curStudent.HostName = socket->HostName();
    m_curStudent.HostAddress = socket->HostAddress();
    m_curStudent.HostPort = socket->HostPort();
    m_curStudent.PeerName = socket->PeerName();
    m_curStudent.PeerAddress = socket->PeerAddress();
    m_curStudent.PeerPort = socket->PeerPort();
    m_curStudent.Flag = false;
    m_curStudent.SockHandle = socket->SockHandle();
    m_curStudent.NotifyWindow = socket->NotifyWindow();
}

void Roster::fillFromRecord(TServerClientWinSocket *socket, const RowKey &key)
{
    m_curStudent.PeerName = key.caption;
    m_curStudent.PeerAddress.clear();
    m_curStudent.PeerPort = key.portText.toInt();
    m_curStudent.SockHandle = socket->SockHandle();
    m_curStudent.NotifyWindow = socket->NotifyWindow();
}

void Roster::clientConnected(TServerClientWinSocket *socket)
{
    fill(socket);
    m_studentList.append(&m_curStudent);
    const RowKey key{m_curStudent.PeerName, QByteArray::number(m_curStudent.PeerPort)};
    m_rowKeys.insert(socket, key);
    m_model->appendRow(key.caption,
                       {m_curStudent.PeerAddress.toLatin1(), key.portText,
                        cp936::encode(connectTimeText(QTime::currentTime())), kNotBlackedOut});
    ++m_studentCount;
    emit countTextChanged(kCountPrefix + QString::number(m_studentList.size()));
}

void Roster::clientDisconnected(TServerClientWinSocket *socket)
{
    if (m_abandonFrame)
        m_abandonFrame();
    // A connection whose arrival failed before it got its row has nothing to take away; the
    // counts stay equal to the rows.
    if (!m_rowKeys.contains(socket))
        return;
    const RowKey key = m_rowKeys.take(socket);
    // A peer that reset its connection can no longer be asked for its address; the row is
    // still found by what was recorded when it arrived.
    try {
        fill(socket);
    } catch (const ESocketError &) {
        fillFromRecord(socket, key);
    }
    if (!m_studentList.isEmpty())
        m_studentList.removeFirst();
    const int row = m_model->findRow(key.caption, key.portText);
    if (row >= 0)
        m_model->removeRowAt(row);
    --m_studentCount;
    emit countTextChanged(kCountPrefix + QString::number(m_studentCount));
}

void Roster::clientFailed(TServerClientWinSocket *socket, TErrorEvent, int &errorCode)
{
    socket->CloseConnection();
    errorCode = 0;
    if (m_abandonFrame)
        m_abandonFrame();
}

void Roster::sortByColumn(int column)
{
    m_sortColumn = column;
    m_model->sortByColumn(column);
}

QString Roster::connectTimeText(const QTime &time)
{
    // The long format may carry a time zone; the column shows the time of day alone.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    if (format.isEmpty())
        format = QStringLiteral("HH:mm:ss");
    return QLocale::system().toString(time, format.trimmed());
}
