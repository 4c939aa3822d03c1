#pragma once

#include "protocol/Ports.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

// What the admin set in student.ini and its drop-ins: where the console is, its ports, how the
// screen is sent while monitored, what the agent may do and which programs stand for the console's
// five.
struct AgentSettings
{
    // The five applications of commands "04" to "08", in that order.
    enum Application { TextEditor, FileManager, WordProcessor, Paint, OfficeWriter };
    static constexpr int kApplicationCount = 5;

    // IPv4 address or host name; empty: only a beacon can tell (where allowed).
    QString console;
    quint16 commandPort = ports::kCommandPort;
    quint16 imagePort = ports::kImagePort;
    quint16 mousePort = ports::kMousePort;
    quint16 agentPort = ports::kAgentPort;
    double screenRate = 2.0;
    int screenQuality = 50;
    bool allowBeaconDiscovery = false;
    bool allowCustomCommands = false;
    // The console's key fingerprint (64 lower-case hex digits): set, the agent reaches the
    // console through the trusted channel only, and only one presenting that key. A value that is
    // no fingerprint is kept as written, so that it matches no console (never plaintext).
    QString consoleFingerprint;
    // Without a fingerprint: trust the first console key seen, kept in pinFile from then on.
    bool trustOnFirstUse = false;
    // Where a key trusted on first use is kept: a folder of the service's (root's) own.
    QString pinFile = QString::fromLatin1(kDefaultPinFile);
    // Candidates tried in order: desktop file IDs ("*.desktop") or command lines.
    std::array<QStringList, kApplicationCount> applications;
    // Lines about values that were unusable and replaced by their defaults.
    QStringList warnings;

    static constexpr const char *kDefaultPath = "/etc/velmora/student.ini";
    static constexpr const char *kDefaultPinFile = "/var/lib/velmora-student/console.fingerprint";

    // The console is reached through the trusted channel, and never in plaintext.
    bool usesChannel() const { return !consoleFingerprint.isEmpty() || trustOnFirstUse; }

    static AgentSettings defaults();
    // Reads the file, then the drop-ins of its folder path + ".d" (*.ini, in name order; a later
    // file wins for each key it sets). A missing file or key keeps its default.
    static AgentSettings load(const QString &path);
    // The files load reads, in order (those that exist).
    static QStringList files(const QString &path);
    static QString dropInFolder(const QString &path);
    // The ini key of an application ("TextEditor", ...).
    static QString applicationKey(Application application);
};
