#include "StudentAgent.h"
#include "protocol/KeyFingerprint.h"
#include "protocol/Ports.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QSize>
#include <cstdio>
#include <memory>
#include <vector>

// Headless simulated student agents for trying the console without a classroom (README.md).

namespace {

constexpr int kMaxStudents = 1000;
// Screens kept per student: a few make a changing screen, many would only cost memory.
constexpr int kMaxCycle = 100;
constexpr int kExitBadOption = 2;

struct Options
{
    QHostAddress console;
    quint16 port = ports::kCommandPort;
    quint16 imagePort = ports::kImagePort;
    quint16 mousePort = ports::kMousePort;
    QString name;
    int students = 1;
    QHostAddress sourceBase;
    double fps = 0;
    QSize size;
    int quality = 0;
    int cycle = 0;
    bool beacons = false;
    bool quiet = false;
    // The trusted channel instead of the command port, trusting this key.
    QString fingerprint;
    quint16 agentPort = ports::kAgentPort;
    QString user;
};

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "velmora-student-sim: %s\n", qPrintable(message));
    std::exit(kExitBadOption);
}

quint16 portValue(const QCommandLineParser &parser, const QString &option)
{
    bool ok = false;
    const uint value = parser.value(option).toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
        fail(QStringLiteral("--%1 needs a port from 1 to 65535").arg(option));
    }
    return static_cast<quint16>(value);
}

QHostAddress addressValue(const QCommandLineParser &parser, const QString &option)
{
    const QHostAddress address(parser.value(option));
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        fail(QStringLiteral("--%1 needs an IPv4 address").arg(option));
    }
    return address;
}

Options parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated student agents for the Velmora console."));
    parser.addHelpOption();
    const auto valued = [](const char *name, const char *help, const char *value,
                           const char *initial) {
        QCommandLineOption option(QString::fromLatin1(name), QString::fromLatin1(help),
                                  QString::fromLatin1(value));
        if (initial) {
            option.setDefaultValue(QString::fromLatin1(initial));
        }
        return option;
    };
    const auto port = [&valued](const char *name, const char *help, quint16 initial) {
        QCommandLineOption option = valued(name, help, "n", nullptr);
        option.setDefaultValue(QString::number(initial));
        return option;
    };
    const auto flag = [](const char *name, const char *help) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help));
    };
    parser.addOptions({
        valued("console", "Console address.", "address", "127.0.0.1"),
        port("port", "Command port.", ports::kCommandPort),
        port("image-port", "Demonstration port.", ports::kImagePort),
        port("mouse-port", "Mouse port (screens, cursor, beacons).", ports::kMousePort),
        valued("name", "Student name (NAME-01.. for several).", "name", "student"),
        valued("students", "Number of students.", "n", "1"),
        valued("source-base", "First source address; the next ones count up.", "address", nullptr),
        valued("fps", "Screen frames per second while monitored.", "f", "2"),
        valued("size", "Screen size WIDTHxHEIGHT.", "size", "640x480"),
        valued("quality", "JPEG quality 1-100.", "q", "50"),
        valued("cycle", "Send N screens, each drawn once, in turn (0: draw every one).", "n", "0"),
        valued("fingerprint",
               "Join through the trusted channel, trusting only the console whose key has this "
               "SHA-256 fingerprint.",
               "hex", nullptr),
        port("agent-port", "Trusted channel port (with --fingerprint).", ports::kAgentPort),
        valued("user", "Logged-in user the channel's hello claims (default: the student's name).",
               "name", nullptr),
        flag("beacons", "Listen on the mouse port all the time, not only in a demonstration."),
        flag("quiet", "Print only ERROR and DISCONNECTED lines."),
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    }

    Options options;
    options.console = addressValue(parser, QStringLiteral("console"));
    options.port = portValue(parser, QStringLiteral("port"));
    options.imagePort = portValue(parser, QStringLiteral("image-port"));
    options.mousePort = portValue(parser, QStringLiteral("mouse-port"));
    options.name = parser.value(QStringLiteral("name"));
    bool ok = false;
    options.students = parser.value(QStringLiteral("students")).toInt(&ok);
    if (!ok || options.students < 1 || options.students > kMaxStudents) {
        fail(QStringLiteral("--students needs a number from 1 to %1").arg(kMaxStudents));
    }
    if (parser.isSet(QStringLiteral("source-base"))) {
        options.sourceBase = addressValue(parser, QStringLiteral("source-base"));
    }
    options.fps = parser.value(QStringLiteral("fps")).toDouble(&ok);
    if (!ok || options.fps <= 0) {
        fail(QStringLiteral("--fps needs a positive number"));
    }
    const QStringList sides = parser.value(QStringLiteral("size")).split(QLatin1Char('x'));
    bool okHeight = false;
    options.size =
        sides.size() == 2 ? QSize(sides[0].toInt(&ok), sides[1].toInt(&okHeight)) : QSize();
    if (!ok || !okHeight || options.size.isEmpty()) {
        fail(QStringLiteral("--size needs WIDTHxHEIGHT"));
    }
    options.quality = parser.value(QStringLiteral("quality")).toInt(&ok);
    if (!ok || options.quality < 1 || options.quality > 100) {
        fail(QStringLiteral("--quality needs a number from 1 to 100"));
    }
    options.cycle = parser.value(QStringLiteral("cycle")).toInt(&ok);
    if (!ok || options.cycle < 0 || options.cycle > kMaxCycle) {
        fail(QStringLiteral("--cycle needs a number from 0 to %1").arg(kMaxCycle));
    }
    options.beacons = parser.isSet(QStringLiteral("beacons"));
    options.agentPort = portValue(parser, QStringLiteral("agent-port"));
    options.user = parser.value(QStringLiteral("user"));
    if (parser.isSet(QStringLiteral("fingerprint"))) {
        options.fingerprint =
            keyfingerprint::normalized(parser.value(QStringLiteral("fingerprint")));
        if (options.fingerprint.isEmpty())
            fail(QStringLiteral("--fingerprint needs 64 hex digits"));
    }
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    return options;
}

QString studentName(const Options &options, int index)
{
    if (options.students == 1) {
        return options.name;
    }
    const int width = std::max(2, static_cast<int>(QString::number(options.students).size()));
    return QStringLiteral("%1-%2").arg(options.name).arg(index + 1, width, 10, QLatin1Char('0'));
}

void printLine(const QString &line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    // Pictures are drawn with fonts, which need a GUI application, but no display is wanted.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-student-sim"));
    const Options options = parseOptions(app);

    std::vector<std::unique_ptr<StudentAgent>> agents;
    int ended = 0;
    int failed = 0;
    const auto finishOne = [&](bool connectFailed) {
        failed += connectFailed ? 1 : 0;
        if (++ended == options.students) {
            QCoreApplication::exit(failed == 0 ? 0 : 1);
        }
    };
    for (int i = 0; i < options.students; ++i) {
        const QHostAddress source =
            options.sourceBase.isNull()
                ? QHostAddress()
                : QHostAddress(options.sourceBase.toIPv4Address() + static_cast<quint32>(i));
        auto agent = std::make_unique<StudentAgent>(studentName(options, i), source);
        StudentAgent *raw = agent.get();
        agent->setImagePort(options.imagePort);
        agent->setMousePort(options.mousePort);
        agent->setListenForBeacons(options.beacons);
        agent->screen().setFramesPerSecond(options.fps);
        agent->setPictureSize(options.size);
        agent->setQuality(options.quality);
        agent->setPictureCycle(options.cycle);
        if (!options.fingerprint.isEmpty())
            agent->setChannel(options.fingerprint,
                              options.user.isEmpty() ? agent->name() : options.user);
        QObject::connect(raw, &StudentAgent::report, raw,
                         [raw, quiet = options.quiet](const QString &line) {
                             if (!quiet || line.startsWith(QLatin1String("ERROR")) ||
                                 line.startsWith(QLatin1String("DISCONNECTED"))) {
                                 printLine(raw->name() + QLatin1Char(' ') + line);
                             }
                         });
        QObject::connect(raw, &StudentAgent::disconnected, raw, [&finishOne] { finishOne(false); });
        QObject::connect(raw, &StudentAgent::connectFailed, raw, [&finishOne] { finishOne(true); });
        agents.push_back(std::move(agent));
    }
    const quint16 port = options.fingerprint.isEmpty() ? options.port : options.agentPort;
    for (const auto &agent : agents) {
        agent->connectToConsole(options.console, port);
    }
    return ended == options.students ? (failed == 0 ? 0 : 1) : app.exec();
}
