#include "ui/SingleInstance.h"

#include "system/EventLog.h"
#include "system/Guard.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {
constexpr int kWaitMs = 2000;
constexpr char kRaise[] = "raise\n";
} // namespace

SingleInstance::SingleInstance(const QString &socketPath, QObject *parent)
    : QObject(parent), m_path(socketPath)
{
}

QString SingleInstance::defaultSocketPath()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!QDir::isAbsolutePath(folder))
        folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("velmora-teacher-%1.socket").arg(getuid()));
}

bool SingleInstance::claim()
{
    QLocalSocket probe;
    probe.connectToServer(m_path);
    if (probe.waitForConnected(kWaitMs)) {
        probe.write(kRaise);
        probe.waitForBytesWritten(kWaitMs);
        probe.disconnectFromServer();
        return false;
    }
    // Nobody answers: whatever lies at the path is the socket of a copy that died.
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this,
            [this] { guard::run([this] { acceptAll(); }); });
    if (!m_server->listen(m_path))
        eventlog::warning(QStringLiteral("cannot listen on %1 (%2): a second copy will not find "
                                         "this one")
                              .arg(m_path, m_server->errorString()));
    return true;
}

void SingleInstance::acceptAll()
{
    while (QLocalSocket *connection = m_server->nextPendingConnection()) {
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        connection->disconnectFromServer();
        emit activationRequested();
    }
}
