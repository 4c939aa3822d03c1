#pragma once

#include "agent/Agent.h"
#include "agent/PowerControl.h"
#include "agent/ProgramStarter.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <memory>

// Records power requests instead of carrying them out; refuses them all with a reason when
// one is set.
class FakePower : public PowerControl
{
public:
    void request(Action action, Refusal refusal) override;
    QList<Action> requests;
    QString refusal;
};

// Knows the programs and desktop files a test says are installed; records what it starts.
class FakeStarter : public ProgramStarter
{
public:
    QString desktopEntryPath(const QString &id) const override { return entries.value(id); }
    bool hasProgram(const QString &program) const override { return programs.contains(program); }
    bool startDetached(const QString &program, const QStringList &arguments) override;

    QHash<QString, QString> entries;
    QStringList programs;
    QList<QStringList> started;
};

// A stand-in console: a real TCP server on loopback the agent connects to, and the agent itself.
class AgentFixture : public ::testing::Test
{
protected:
    static constexpr quint16 kImagePort = 25650;
    static constexpr quint16 kMousePort = 25651;

    AgentSettings settingsForTest();
    // Starts the agent against the server and waits for its connection.
    void startAgent(const AgentSettings &settings, bool root = false);
    void startAgent() { startAgent(settingsForTest()); }
    bool waitForConnection();
    // Writes bytes as the console does and waits until the agent has obeyed `commands` more.
    void send(const QByteArray &bytes, int commands);
    void TearDown() override;

    FakePower power;
    FakeStarter starter;
    QTcpServer server;
    QPointer<QTcpSocket> connection;
    std::unique_ptr<Agent> agent;
    QList<StudentCommand> obeyed;
};
