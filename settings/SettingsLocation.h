#pragma once

#include <QString>
#include <QStringList>

// Which server.ini files the console reads, later ones over earlier ones, and the one the
// settings dialog writes. A portable copy keeps server.ini beside the program; an installed
// copy reads the administrator's defaults and keeps each teacher's own file in their home.
class SettingsLocation
{
public:
    // programDirectory: where the program file lies; systemDirectory: the administrator's
    // defaults (/etc/velmora); userDirectory: the teacher's own ($XDG_CONFIG_HOME/velmora);
    // installedData: the program's data folder as installed ("../share/velmora" from it), whose
    // presence marks an installed program.
    SettingsLocation(const QString &programDirectory, const QString &systemDirectory,
                     const QString &userDirectory, const QString &installedData);

    // The running program's folder, /etc/velmora and the user's configuration folder.
    static SettingsLocation forThisProgram();

    // The administrator's folder: the defaults' server.ini, and the console key an admin provides.
    static constexpr const char *kSystemDirectory = "/etc/velmora";

    // $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
    static QString userConfigHome();
    // $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
    static QString userDataHome();

    // server.ini beside the program exists, or the program's folder is writable and is not an
    // installed program's (root can write /usr/bin, which must not fill up with settings).
    bool isPortable() const;

    // In reading order: beside the program alone, or the defaults then the user's file.
    QStringList readPaths() const;
    QString writePath() const;

private:
    QString besideProgram() const;

    QString m_programDirectory;
    QString m_systemDirectory;
    QString m_userDirectory;
    QString m_installedData;
};
