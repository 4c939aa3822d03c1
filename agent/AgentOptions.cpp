#include "agent/AgentOptions.h"

#include "protocol/Ports.h"

namespace {

const char kUsage[] =
    "Usage: velmora-student [--console ADDRESS] [--port N] [--image-port N] [--mouse-port N]\n"
    "                       [--config FILE]\n"
    "       velmora-student --service [--config FILE]\n"
    "\n"
    "The student agent of a Velmora classroom: it connects to the teacher's console and obeys\n"
    "it (messages, black-out, the teacher's demonstration, screen monitoring, starting the\n"
    "lab's programs, log off, restart, shut down).\n"
    "\n"
    "  --service           run as the system service (velmora-student.service): hold the\n"
    "                      connection and run the display part in every X11 session\n"
    "  (no --service)      run once inside this X11 session, as this user\n"
    "  --console ADDRESS   the console's IPv4 address or host name\n"
    "  --port N            the console's command port (TCP, default %1)\n"
    "  --image-port N      the demonstration port (UDP, default %2)\n"
    "  --mouse-port N      the console's mouse port (UDP, default %3)\n"
    "  --config FILE       settings file (default /etc/velmora/student.ini), then the\n"
    "                      files FILE.d/*.ini in name order\n"
    "  --help              this text\n"
    "\n"
    "The options override the settings file for this run only.\n";

bool readPort(const QString &value, quint16 &target)
{
    bool ok = false;
    const uint number = value.toUInt(&ok);
    if (!ok || number < 1 || number > 65535) {
        return false;
    }
    target = static_cast<quint16>(number);
    return true;
}

AgentOptions failure(const QString &text)
{
    AgentOptions options;
    options.outcome = AgentOptions::Outcome::Error;
    options.text = text + QStringLiteral("\nTry 'velmora-student --help'.\n");
    return options;
}

} // namespace

AgentOptions AgentOptions::parse(const QStringList &arguments)
{
    QString config = QString::fromLatin1(AgentSettings::kDefaultPath);
    QString console;
    QList<std::pair<QString, QString>> ports;
    Mode mode = Mode::InSession;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &name = arguments[i];
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            AgentOptions options;
            options.outcome = Outcome::Help;
            options.text = usage();
            return options;
        }
        if (name == QLatin1String("--service") || name == QLatin1String("--session-part")) {
            mode = name == QLatin1String("--service") ? Mode::Service : Mode::SessionPart;
            continue;
        }
        const bool valued = name == QLatin1String("--console") || name == QLatin1String("--port") ||
                            name == QLatin1String("--image-port") ||
                            name == QLatin1String("--mouse-port") ||
                            name == QLatin1String("--config");
        if (!valued) {
            return failure(QStringLiteral("unknown option: %1").arg(name));
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
            return failure(QStringLiteral("%1 needs a value").arg(name));
        }
        const QString value = arguments[++i];
        if (name == QLatin1String("--config")) {
            config = value;
        } else if (name == QLatin1String("--console")) {
            console = value;
        } else {
            ports.append({name, value});
        }
    }

    AgentOptions options;
    options.mode = mode;
    options.config = config;
    options.settings = AgentSettings::load(config);
    if (!console.isEmpty()) {
        options.settings.console = console;
    }
    for (const auto &[name, value] : ports) {
        quint16 &target = name == QLatin1String("--port")         ? options.settings.commandPort
                          : name == QLatin1String("--image-port") ? options.settings.imagePort
                                                                  : options.settings.mousePort;
        if (!readPort(value, target)) {
            return failure(
                QStringLiteral("%1 needs a port from 1 to 65535, not %2").arg(name, value));
        }
    }
    // The service waits for the address to be set; a run in the session has nothing to wait in.
    if (mode == Mode::InSession && options.settings.console.isEmpty() &&
        !options.settings.allowBeaconDiscovery) {
        return failure(QStringLiteral("no console address: give --console or set Address in %1 "
                                      "(or allow beacon discovery there)")
                           .arg(config));
    }
    return options;
}

QString AgentOptions::usage()
{
    return QString::fromLatin1(kUsage)
        .arg(ports::kCommandPort)
        .arg(ports::kImagePort)
        .arg(ports::kMousePort);
}
