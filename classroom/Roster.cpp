#include "classroom/Roster.h"

#include "identity/NetworkInterfaces.h"
#include "net/ReverseLookup.h"
#include "net/TServerClientWinSocket.h"
#include "text/Cp936.h"

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

void Roster::fill(TServerClientWinSocket *socket, const QByteArray &peerName)
{
    m_curStudent.Id = -1;
    m_curStudent.UserName = QStringLiteral("Anonymous");
    m_curStudent.HostName = socket->HostName();
    m_curStudent.HostAddress = socket->HostAddress();
    m_curStudent.HostPort = socket->HostPort();
    m_curStudent.PeerName = peerName;
    m_curStudent.PeerAddress = socket->PeerAddress();
    m_curStudent.PeerPort = socket->PeerPort();
    m_curStudent.Flag = false;
    m_curStudent.SockHandle = socket->SockHandle();
    m_curStudent.NotifyWindow = socket->NotifyWindow();
}

// The row comes at once, named when the name is already known; otherwise the name fills it in
// when its lookup answers, which a silent name server may delay for a few seconds.
void Roster::clientConnected(TServerClientWinSocket *socket)
{
    fill(socket, QByteArray());
    addRow(socket->ConnectionId(), socket->PeerIPv4(), QByteArray(), QByteArray());
}

void Roster::agentJoined(quint64 key, quint32 address, quint16 port, const QByteArray &hostName,
                         const QByteArray &user)
{
    m_curStudent = TServerConnectionStatus();
    m_curStudent.PeerAddress = netif::dotted(address);
    m_curStudent.PeerPort = port;
    m_curStudent.UserName = cp936::decode(user);
    addRow(key, address, hostName, user);
}

void Roster::addRow(quint64 key, quint32 address, const QByteArray &caption, const QByteArray &user)
{
    m_studentList.append(&m_curStudent);
    m_model->appendRow(
        key, caption,
        {m_curStudent.PeerAddress.toLatin1(), QByteArray::number(m_curStudent.PeerPort),
         cp936::encode(connectTimeText(QTime::currentTime())), kNotBlackedOut, user});
    ++m_studentCount;
    emit studentJoined(key, kCountPrefix + QString::number(m_studentList.size()));
    const quint64 ticket = reverse_lookup::nameOfLater(
        address, this, [this, key](const QByteArray &name) { nameArrived(key, name); });
    if (ticket != 0)
        m_lookups.insert(key, ticket);
}

// A student gone before its name came has no row to name.
void Roster::nameArrived(quint64 key, const QByteArray &name)
{
    m_lookups.remove(key);
    const int row = m_model->rowOfKey(key);
    if (row >= 0 && !name.isEmpty())
        m_model->setCaption(row, name);
}

void Roster::clientDisconnected(TServerClientWinSocket *socket)
{
    if (m_abandonFrame)
        m_abandonFrame();
    const quint64 key = socket->ConnectionId();
    const int row = m_model->rowOfKey(key);
    if (row >= 0)
        fill(socket, m_model->caption(row));
    removeRow(key);
}

void Roster::setUser(quint64 key, const QByteArray &user)
{
    const int row = m_model->rowOfKey(key);
    if (row >= 0)
        m_model->setSubItem(row, RosterModel::UserColumn - 1, user);
}

void Roster::agentLeft(quint64 key)
{
    if (m_abandonFrame)
        m_abandonFrame();
    removeRow(key);
}

// A connection whose arrival failed before it got its row has nothing to take away; the counts
// stay equal to the rows.
void Roster::removeRow(quint64 key)
{
    if (const quint64 ticket = m_lookups.take(key))
        reverse_lookup::cancel(ticket);
    const int row = m_model->rowOfKey(key);
    if (row < 0)
        return;
    if (!m_studentList.isEmpty())
        m_studentList.removeFirst();
    m_model->removeRowAt(row);
    --m_studentCount;
    emit studentLeft(key, kCountPrefix + QString::number(m_studentCount));
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

// The long format may carry a time zone; the column shows the time of day alone. Worked out once:
// a storm of connections must not build a pattern per student.
QString Roster::connectTimeText(const QTime &time)
{
    static const QString format = [] {
        QString longFormat = QLocale::system().timeFormat(QLocale::LongFormat);
        longFormat.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
        return longFormat.isEmpty() ? QStringLiteral("HH:mm:ss") : longFormat.trimmed();
    }();
    return QLocale::system().toString(time, format);
}
