#pragma once

#include "agent/AgentSettings.h"

#include <QDBusConnection>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class Agent;
class DBusPowerControl;
class LoginSessions;
class SessionParts;

// The system service: holds the console connection, carries out power actions through logind,
// and keeps a display part in every graphical session. Until the settings name a console (or
// allow discovery) it waits quietly, watching the settings files.
class StudentService : public QObject
{
    Q_OBJECT

public:
    using Loader = std::function<AgentSettings()>;

    // load reads the settings (again after each change of the files of config); partCommand is
    // the program and arguments of a session part.
    StudentService(const QString &config, Loader load, QDBusConnection systemBus,
                   const QStringList &partCommand, QObject *parent = nullptr);
    ~StudentService() override;

    void start();
    bool isRunning() const { return m_agent != nullptr; }
    Agent *agent() const { return m_agent.get(); }
    SessionParts *parts() const { return m_parts.get(); }

private:
    void tryToRun();
    void watchSettings();
    void unwatchSettings();
    void run(const AgentSettings &settings);
    void onPartRestarted(const QString &sessionId, const QString &user, const QString &how);

    QString m_config;
    Loader m_load;
    QDBusConnection m_bus;
    QStringList m_partCommand;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    bool m_waitLogged = false;
    std::unique_ptr<LoginSessions> m_sessions;
    std::unique_ptr<SessionParts> m_parts;
    std::unique_ptr<DBusPowerControl> m_power;
    std::unique_ptr<Agent> m_agent;
};
