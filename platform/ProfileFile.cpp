#include "platform/ProfileFile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSaveFile>

namespace profilefile {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

struct Line
{
    qsizetype start = 0;
    qsizetype end = 0;  // end of the content, before CR LF or LF
    qsizetype next = 0; // start of the following line
};

// Where a key stands in a file; -1 for what is not there.
struct Location
{
    qsizetype sectionLine = -1;
    qsizetype keyLine = -1;
    qsizetype lastFilledLine = -1; // the section's last non-blank line, where a new key goes
};

QList<Line> splitLines(const QByteArray &data)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype newline = data.indexOf('\n', start);
        Line line;
        line.start = start;
        line.next = newline < 0 ? data.size() : newline + 1;
        line.end = newline < 0 ? data.size() : newline;
        if (line.end > start && data.at(line.end - 1) == '\r')
            --line.end;
        lines.append(line);
        start = line.next;
    }
    return lines;
}

QByteArray content(const QByteArray &data, const Line &line)
{
    QByteArray text = data.mid(line.start, line.end - line.start);
    if (line.start == 0 && text.startsWith(kUtf8Bom))
        text.remove(0, qsizetype(sizeof kUtf8Bom) - 1);
    return text.trimmed();
}

bool sameName(const QByteArray &bytes, const QString &name)
{
    return QString::fromUtf8(bytes).compare(name.trimmed(), Qt::CaseInsensitive) == 0;
}

// A section header's name, or nothing when the line is no header.
bool sectionName(const QByteArray &text, QByteArray &name)
{
    if (!text.startsWith('['))
        return false;
    const qsizetype close = text.indexOf(']');
    name = text.mid(1, close < 0 ? -1 : close - 1).trimmed();
    return true;
}

bool keyAndValue(const QByteArray &text, QByteArray &key, QByteArray &value)
{
    const qsizetype equals = text.indexOf('=');
    if (equals < 0 || text.startsWith(';'))
        return false;
    key = text.left(equals).trimmed();
    value = text.mid(equals + 1).trimmed();
    return true;
}

Location locate(const QByteArray &data, const QList<Line> &lines, const QString &section,
                const QString &key, QByteArray *value = nullptr)
{
    Location found;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray text = content(data, lines.at(i));
        QByteArray name;
        if (sectionName(text, name)) {
            if (found.sectionLine >= 0)
                break;
            if (sameName(name, section))
                found.sectionLine = found.lastFilledLine = i;
            continue;
        }
        if (found.sectionLine < 0 || text.isEmpty())
            continue;
        found.lastFilledLine = i;
        QByteArray lineKey;
        QByteArray lineValue;
        if (keyAndValue(text, lineKey, lineValue) && sameName(lineKey, key)) {
            found.keyLine = i;
            if (value)
                *value = lineValue;
            break;
        }
    }
    return found;
}

bool fitsOnOneLine(const QString &section, const QString &key, const QString &value)
{
    const auto hasBreak = [](const QString &text) {
        return text.contains(u'\n') || text.contains(u'\r');
    };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return false;
    const QString trimmedKey = key.trimmed();
    return !trimmedKey.isEmpty() && !trimmedKey.contains(u'=') && !trimmedKey.startsWith(u'[')
           && !trimmedKey.startsWith(u';') && !section.contains(u']');
}

QByteArray lineEnding(const QByteArray &data)
{
    const qsizetype newline = data.indexOf('\n');
    return newline > 0 && data.at(newline - 1) == '\r' ? QByteArrayLiteral("\r\n")
                                                        : QByteArrayLiteral("\n");
}

QByteArray withKey(const QByteArray &data, const QString &section, const QString &key,
                   const QString &value)
{
    const QList<Line> lines = splitLines(data);
    const Location at = locate(data, lines, section, key);
    const QByteArray eol = lineEnding(data);
    const QByteArray keyLine = key.trimmed().toUtf8() + '=' + value.toUtf8();
    QByteArray result = data;
    if (at.keyLine >= 0) {
        const Line &line = lines.at(at.keyLine);
        return result.replace(line.start, line.end - line.start, keyLine);
    }
    if (at.sectionLine >= 0) {
        const Line &line = lines.at(at.lastFilledLine);
        const bool terminated = line.next > line.end;
        return result.insert(line.next, terminated ? keyLine + eol : eol + keyLine);
    }
    if (!result.isEmpty()) {
        if (!result.endsWith('\n'))
            result += eol;
        if (!content(data, lines.last()).isEmpty())
            result += eol;
    }
    return result + '[' + section.trimmed().toUtf8() + ']' + eol + keyLine + eol;
}

} // namespace

QString readProfileString(const QString &path, const QString &section, const QString &key,
                          const QString &defaultValue)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    const QByteArray data = file.readAll();
    QByteArray value;
    if (locate(data, splitLines(data), section, key, &value).keyLine < 0)
        return defaultValue;
    return QString::fromUtf8(value);
}

bool writeProfileString(const QString &path, const QString &section, const QString &key,
                        const QString &value)
{
    if (!fitsOnOneLine(section, key, value))
        return false;
    QByteArray data;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            return false;
        data = existing.readAll();
        existing.close();
    }
    // Unbuffered: a buffered save file can lose a failed flush and commit a truncated file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray updated = withKey(data, section, key, value);
    if (file.write(updated) != updated.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace profilefile
