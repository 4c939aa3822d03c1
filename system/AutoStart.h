#pragma once

#include <QString>

// Start-at-boot as XDG autostart entries: a "<name>.desktop" file in one directory means on.
// A user's own directory may override a machine-wide entry of the same name: an entry with
// Hidden=true there turns it off for that user alone.
class AutoStart
{
public:
    // directory: where entries are written (/etc/xdg/autostart for root, else the user's);
    // systemDirectory: the machine-wide directory the user's entries override, or empty.
    explicit AutoStart(const QString &directory, const QString &systemDirectory = QString());

    // Writes the entry starting path, or turns it off. A failure throws AppError with a
    // message for the teacher, and the entries stay as they were.
    void setAutoRun(const QString &name, const QString &path, bool enabled) const;

    // Whether an entry of that name starts the program for this user, whatever its Exec.
    bool isAutoRun(const QString &name) const;

    // The Exec value that runs path with no arguments, quoted and escaped for a desktop entry.
    static QString execValue(const QString &path);

private:
    QString entryPath(const QString &directory, const QString &name) const;
    void writeEntry(const QString &name, const QByteArray &entry) const;

    QString m_directory;
    QString m_systemDirectory;
};
