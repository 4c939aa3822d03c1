#include "agent/AgentSettings.h"

#include "protocol/KeyFingerprint.h"
#include "text/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinRate = 0.1;
constexpr double kMaxRate = 10.0;
constexpr int kMinQuality = 1;
constexpr int kMaxQuality = 100;

const char *const kKeys[AgentSettings::kApplicationCount] = {
    "TextEditor", "FileManager", "WordProcessor", "Paint", "OfficeWriter"};

// The common programs of the desktops a lab is likely to run, most common first.
const char *const kDefaults[AgentSettings::kApplicationCount] = {
    "org.gnome.TextEditor.desktop, org.gnome.gedit.desktop, org.xfce.mousepad.desktop, "
    "mousepad.desktop, org.kde.kate.desktop, pluma.desktop, xed.desktop, gedit, mousepad",
    "org.gnome.Nautilus.desktop, thunar.desktop, org.kde.dolphin.desktop, caja.desktop, "
    "nemo.desktop, pcmanfm.desktop, xdg-open .",
    "abiword.desktop, libreoffice-writer.desktop, org.kde.calligrawords.desktop",
    "pinta.desktop, org.kde.kolourpaint.desktop, kolourpaint.desktop, mtpaint.desktop, "
    "gimp.desktop",
    "libreoffice-writer.desktop, org.onlyoffice.desktopeditors.desktop, abiword.desktop"};

QStringList candidates(const QString &value)
{
    QStringList list;
    for (const QString &item : value.split(QLatin1Char(','))) {
        if (!item.trimmed().isEmpty()) {
            list.append(item.trimmed());
        }
    }
    return list;
}

// The main file, then its drop-ins: a key takes its value from the last file that sets it.
class Reader
{
public:
    Reader(const QStringList &paths, AgentSettings &settings) : m_settings(settings)
    {
        for (const QString &path : paths) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) {
                m_files.append({path, file.readAll()});
            } else {
                settings.warnings.append(path + QStringLiteral(": cannot be read; skipped"));
            }
        }
    }

    QString text(const char *section, const char *key, const QString &fallback)
    {
        for (auto file = m_files.crbegin(); file != m_files.crend(); ++file) {
            const QString value = profilefile::readFromText(
                file->second, QString::fromLatin1(section), QString::fromLatin1(key), kAbsent);
            if (value != kAbsent) {
                m_from = file->first;
                return value;
            }
        }
        return fallback;
    }

    void port(const char *section, const char *key, quint16 &target)
    {
        const QString value = text(section, key, QString());
        if (value.isEmpty()) {
            return;
        }
        bool ok = false;
        const uint number = value.toUInt(&ok);
        if (ok && number >= 1 && number <= 65535) {
            target = static_cast<quint16>(number);
        } else {
            warn(key, value);
        }
    }

    void flag(const char *section, const char *key, bool &target)
    {
        const QString value = text(section, key, QString()).toLower();
        if (value.isEmpty()) {
            return;
        }
        if (value == QLatin1String("1") || value == QLatin1String("true") ||
            value == QLatin1String("yes")) {
            target = true;
        } else if (value == QLatin1String("0") || value == QLatin1String("false") ||
                   value == QLatin1String("no")) {
            target = false;
        } else {
            warn(key, value);
        }
    }

    void fingerprint(const char *section, const char *key, QString &target)
    {
        const QString value = text(section, key, QString()).trimmed();
        target = keyfingerprint::normalized(value);
        if (!value.isEmpty() && target.isEmpty()) {
            target = value;
            m_settings.warnings.append(
                QStringLiteral("%1: %2=%3 is not a SHA-256 fingerprint (64 hex digits): no "
                               "console is trusted until it is mended")
                    .arg(m_from, QString::fromLatin1(key), value));
        }
    }

    void rate(const char *section, const char *key, double &target)
    {
        const QString value = text(section, key, QString());
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!value.isEmpty() && ok && std::isfinite(number) && number >= kMinRate &&
            number <= kMaxRate) {
            target = number;
        } else if (!value.isEmpty()) {
            warn(key, value);
        }
    }

    void quality(const char *section, const char *key, int &target)
    {
        const QString value = text(section, key, QString());
        bool ok = false;
        const int number = value.toInt(&ok);
        if (ok && number >= kMinQuality && number <= kMaxQuality) {
            target = number;
        } else if (!value.isEmpty()) {
            warn(key, value);
        }
    }

private:
    void warn(const char *key, const QString &value)
    {
        m_settings.warnings.append(QStringLiteral("%1: %2=%3 is not usable; the default stays")
                                       .arg(m_from, QString::fromLatin1(key), value));
    }

    // A value no line can hold: "not in this file".
    inline static const QString kAbsent = QStringLiteral("\n");
    QList<std::pair<QString, QByteArray>> m_files;
    // The file the last value came from.
    QString m_from;
    AgentSettings &m_settings;
};

} // namespace

AgentSettings AgentSettings::defaults()
{
    AgentSettings settings;
    for (int i = 0; i < kApplicationCount; ++i) {
        settings.applications[i] = candidates(QString::fromLatin1(kDefaults[i]));
    }
    return settings;
}

QStringList AgentSettings::files(const QString &path)
{
    QStringList found;
    if (QFileInfo::exists(path)) {
        found.append(path);
    }
    // In the byte order of the names, as configuration management expects of a .d folder.
    QStringList dropIns =
        QDir(dropInFolder(path)).entryList({QStringLiteral("*.ini")}, QDir::Files | QDir::Readable);
    std::sort(dropIns.begin(), dropIns.end(),
              [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
    for (const QString &name : std::as_const(dropIns)) {
        found.append(dropInFolder(path) + QLatin1Char('/') + name);
    }
    return found;
}

QString AgentSettings::dropInFolder(const QString &path)
{
    return path + QStringLiteral(".d");
}

AgentSettings AgentSettings::load(const QString &path)
{
    AgentSettings settings = defaults();
    if (!QFileInfo::exists(path)) {
        settings.warnings.append(path + QStringLiteral(": not found; defaults are used"));
    }
    Reader reader(files(path), settings);
    settings.console = reader.text("Console", "Address", QString());
    reader.port("Console", "CommandPort", settings.commandPort);
    reader.port("Console", "ImagePort", settings.imagePort);
    reader.port("Console", "MousePort", settings.mousePort);
    reader.port("Console", "AgentPort", settings.agentPort);
    reader.flag("Console", "TrustOnFirstUse", settings.trustOnFirstUse);
    reader.flag("Console", "AllowBeaconDiscovery", settings.allowBeaconDiscovery);
    reader.rate("Screen", "Rate", settings.screenRate);
    reader.quality("Screen", "Quality", settings.screenQuality);
    reader.flag("Security", "AllowCustomCommands", settings.allowCustomCommands);
    reader.fingerprint("Console", "ConsoleFingerprint", settings.consoleFingerprint);
    for (int i = 0; i < kApplicationCount; ++i) {
        const QString value = reader.text("Applications", kKeys[i], QString());
        if (!value.isEmpty()) {
            settings.applications[i] = candidates(value);
        }
    }
    return settings;
}

QString AgentSettings::applicationKey(Application application)
{
    return QString::fromLatin1(kKeys[application]);
}
