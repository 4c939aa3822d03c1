#pragma once

#include "protocol/Ports.h"

#include <QString>
#include <QStringList>

// The settings kept in server.ini, with their defaults: the four of section SysInfo, and in a
// section of its own, Agent, what only our agents use.
struct ConsoleSettings
{
    qint32 ImagePort = ports::kImagePort;
    qint32 MousePort = ports::kMousePort;
    qint32 ImageQuality = 50;
    qint32 CommandPort = ports::kCommandPort;
    // [Agent] AgentPort: the trusted channel's TCP port.
    qint32 AgentPort = ports::kAgentPort;

    // A missing file, key or number leaves that key's default; any number that converts is used.
    static ConsoleSettings read(const QString &iniPath);
    // Each file in turn over the ones before: a key it holds as a number replaces theirs.
    static ConsoleSettings read(const QStringList &iniPaths);

private:
    void readOver(const QString &iniPath);
};
