#include "agent/StudentService.h"

#include "agent/Agent.h"
#include "agent/DBusPowerControl.h"
#include "agent/LoginSessions.h"
#include "agent/SessionParts.h"

#include <QFileInfo>
#include <QtDebug>

namespace {

// An editor or a package writes a file in several steps: read once they are done.
constexpr int kSettleMs = 300;

} // namespace

StudentService::StudentService(const QString &config, Loader load, QDBusConnection systemBus,
                               const QStringList &partCommand, QObject *parent)
    : QObject(parent), m_config(config), m_load(std::move(load)), m_bus(std::move(systemBus)),
      m_partCommand(partCommand)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &StudentService::tryToRun);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
}

StudentService::~StudentService()
{
    // The parts end before the sessions they follow.
    m_agent.reset();
    m_parts.reset();
}

void StudentService::start()
{
    tryToRun();
}

void StudentService::tryToRun()
{
    if (m_agent) {
        return;
    }
    const AgentSettings settings = m_load();
    if (!settings.console.isEmpty() || settings.allowBeaconDiscovery) {
        unwatchSettings();
        for (const QString &warning : settings.warnings) {
            qWarning().noquote() << warning;
        }
        run(settings);
        return;
    }
    if (!m_waitLogged) {
        qInfo().noquote() << "no console address and beacon discovery is off: waiting until"
                          << m_config << "or a file in" << AgentSettings::dropInFolder(m_config)
                          << "sets Address in [Console]";
        m_waitLogged = true;
    }
    watchSettings();
}

void StudentService::watchSettings()
{
    // Files are often replaced rather than written: the folders tell of those.
    QStringList paths = AgentSettings::files(m_config);
    paths << QFileInfo(m_config).absolutePath() << AgentSettings::dropInFolder(m_config);
    unwatchSettings();
    for (const QString &path : std::as_const(paths)) {
        if (QFileInfo::exists(path)) {
            m_watcher.addPath(path);
        }
    }
}

void StudentService::unwatchSettings()
{
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    if (!watched.isEmpty()) {
        m_watcher.removePaths(watched);
    }
}

void StudentService::run(const AgentSettings &settings)
{
    if (settings.usesChannel()) {
        qInfo().noquote() << "the console is reached through the trusted channel only (TCP port"
                          << settings.agentPort << "), trusting"
                          << (settings.consoleFingerprint.isEmpty()
                                  ? QStringLiteral("the first console key seen (TrustOnFirstUse)")
                                  : QStringLiteral("the key ") + settings.consoleFingerprint);
    } else {
        qWarning("neither ConsoleFingerprint nor TrustOnFirstUse is set: the console is reached in "
                 "plaintext, and whoever on the LAN poses as the console commands this computer");
    }
    m_sessions = std::make_unique<LoginSessions>(m_bus);
    m_parts = std::make_unique<SessionParts>(*m_sessions, m_partCommand);
    connect(m_parts.get(), &SessionParts::partRestarted, this, &StudentService::onPartRestarted);
    m_power = std::make_unique<DBusPowerControl>(m_bus, QDBusConnection(QString()));
    m_power->setSessionsToEnd([this] { return m_parts->sessionIds(); });
    Agent::Seams seams;
    seams.power = m_power.get();
    seams.side = m_parts.get();
    m_agent = std::make_unique<Agent>(settings, seams);
    m_sessions->start();
    m_agent->start();
}

void StudentService::onPartRestarted(const QString &sessionId, const QString &user,
                                     const QString &how)
{
    qWarning().noquote() << "session" << sessionId << "(" + user + "): the display part" << how
                         << "and is started again";
    // The teacher sees a student who keeps ending the part (on the channel only).
    if (m_agent) {
        m_agent->reportPartRestarted(sessionId, user, how);
    }
}
