#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Reads and writes INI files with the semantics of the Windows private-profile functions:
// section and key names match without regard to case, values are trimmed of surrounding
// blanks, and a write replaces only its key's line, leaving every other byte as it was.
namespace profilefile {

// The value of key in section; defaultValue when the file, the section or the key is missing.
// Lines starting with ";" are comments; only the first section and key of a name count.
QString readProfileString(const QString &path, const QString &section, const QString &key,
                          const QString &defaultValue);

// Sets key=value in section, creating the file, the section and the key as needed. A file with
// CR LF line ends keeps them; a new file gets LF. The file is replaced in one rename, so a failed
// write leaves the old file whole. False when the file cannot be written, or when a name or the
// value would not fit on one line (a line break, "=" in the key, "]" in the section).
bool writeProfileString(const QString &path, const QString &section, const QString &key,
                        const QString &value);

// The same two on a file's bytes in memory: the value found, and the bytes with key set
// (nothing when the write would be refused).
QString readFromText(const QByteArray &data, const QString &section, const QString &key,
                     const QString &defaultValue);
std::optional<QByteArray> writeToText(const QByteArray &data, const QString &section,
                                      const QString &key, const QString &value);

} // namespace profilefile
