#include "agent/AgentSettings.h"

#include "platform/ProfileFile.h"

#include <QFileInfo>
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

class Reader
{
public:
    Reader(const QString &path, AgentSettings &settings) : m_path(path), m_settings(settings) {}

    QString text(const char *section, const char *key, const QString &fallback) const
    {
        return profilefile::readProfileString(m_path, QString::fromLatin1(section),
                                              QString::fromLatin1(key), fallback);
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
                                       .arg(m_path, QString::fromLatin1(key), value));
    }

    QString m_path;
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

AgentSettings AgentSettings::load(const QString &path)
{
    AgentSettings settings = defaults();
    if (!QFileInfo::exists(path)) {
        settings.warnings.append(path + QStringLiteral(": not found; defaults are used"));
        return settings;
    }
    Reader reader(path, settings);
    settings.console = reader.text("Console", "Address", QString());
    reader.port("Console", "CommandPort", settings.commandPort);
    reader.port("Console", "ImagePort", settings.imagePort);
    reader.port("Console", "MousePort", settings.mousePort);
    reader.flag("Console", "AllowBeaconDiscovery", settings.allowBeaconDiscovery);
    reader.rate("Screen", "Rate", settings.screenRate);
    reader.quality("Screen", "Quality", settings.screenQuality);
    reader.flag("Security", "AllowCustomCommands", settings.allowCustomCommands);
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
