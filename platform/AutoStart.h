#pragma once

#include <QString>

// Start-at-boot as XDG autostart entries: a "<name>.desktop" file in one directory means on.
class AutoStart
{
public:
    // The console passes /etc/xdg/autostart, the machine-wide directory.
    explicit AutoStart(const QString &directory);

    // Writes the entry starting path (created with its directory), or removes it. Failures change
    // nothing and are not reported, as the console never tells the teacher about them.
    void setAutoRun(const QString &name, const QString &path, bool enabled) const;

    // Whether the entry exists, whatever it holds; false when that cannot be told.
    bool isAutoRun(const QString &name) const;

private:
    QString entryPath(const QString &name) const;

    QString m_directory;
};
