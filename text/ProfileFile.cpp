#include "text/ProfileFile.h"

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

// A line ends at LF, CR LF or a bare CR: a file saved with old Macintosh line ends, or whose
// last line ends in a lone CR, must not glue the next key onto that line.
QList<Line> splitLines(const QByteArray &data)
{
    QList<Line> lines;
    qsizetype start = 0;
    const qsizetype size = data.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && data.at(end) != '\n' && data.at(end) != '\r')
            ++end;
        Line line;
        line.start = start;
        line.end = end;
        line.next = end;
        if (end < size)
            line.next = data.at(end) == '\r' && end + 1 < size && data.at(end + 1) == '\n'
                            ? end + 2
                            : end + 1;
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

char foldAscii(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Names compare by their bytes, ASCII letters without case: what another reader of the file
// would also call the same name.
bool sameName(const QByteArray &bytes, const QString &name)
{
    const QByteArray wanted = name.trimmed().toUtf8();
    if (bytes.size() != wanted.size())
        return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (foldAscii(bytes.at(i)) != foldAscii(wanted.at(i)))
            return false;
    }
    return true;
}

bool quotedPair(const QByteArray &text)
{
    return text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
           text.back() == text.front();
}

// As the private-profile reader does, one pair of enclosing quotes is taken off a value; the
// writer adds them where the value would otherwise not read back as written.
QByteArray unquoted(const QByteArray &value)
{
    return quotedPair(value) ? value.mid(1, value.size() - 2) : value;
}

QByteArray stored(const QString &value)
{
    const QByteArray bytes = value.toUtf8();
    const bool padded = !bytes.isEmpty() && (bytes != bytes.trimmed());
    return padded || quotedPair(bytes) ? '"' + bytes + '"' : bytes;
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
    value = unquoted(text.mid(equals + 1).trimmed());
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

// Whether a text survives the file's UTF-8 unchanged (a lone surrogate would not).
bool storable(const QString &text)
{
    return QString::fromUtf8(text.toUtf8()) == text;
}

bool fitsOnOneLine(const QString &section, const QString &key, const QString &value)
{
    const auto hasBreak = [](const QString &text) {
        return text.contains(u'\n') || text.contains(u'\r');
    };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return false;
    if (!storable(section) || !storable(key) || !storable(value))
        return false;
    const QString trimmedKey = key.trimmed();
    return !trimmedKey.isEmpty() && !trimmedKey.contains(u'=') && !trimmedKey.startsWith(u'[') &&
           !trimmedKey.startsWith(u';') && !section.contains(u']');
}

// The file's own line end, from its first ended line; LF for a file that has none yet.
QByteArray lineEnding(const QByteArray &data, const QList<Line> &lines)
{
    for (const Line &line : lines) {
        if (line.next > line.end)
            return data.mid(line.end, line.next - line.end);
    }
    return QByteArrayLiteral("\n");
}

QByteArray withKey(const QByteArray &data, const QString &section, const QString &key,
                   const QString &value)
{
    const QList<Line> lines = splitLines(data);
    const Location at = locate(data, lines, section, key);
    const QByteArray eol = lineEnding(data, lines);
    const QByteArray keyLine = key.trimmed().toUtf8() + '=' + stored(value);
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
        if (lines.last().next == lines.last().end)
            result += eol;
        if (!content(data, lines.last()).isEmpty())
            result += eol;
    }
    return result + '[' + section.trimmed().toUtf8() + ']' + eol + keyLine + eol;
}

} // namespace

QString readFromText(const QByteArray &data, const QString &section, const QString &key,
                     const QString &defaultValue)
{
    QByteArray value;
    if (locate(data, splitLines(data), section, key, &value).keyLine < 0)
        return defaultValue;
    return QString::fromUtf8(value);
}

std::optional<QByteArray> writeToText(const QByteArray &data, const QString &section,
                                      const QString &key, const QString &value)
{
    if (!fitsOnOneLine(section, key, value))
        return std::nullopt;
    return withKey(data, section, key, value);
}

QString readProfileString(const QString &path, const QString &section, const QString &key,
                          const QString &defaultValue)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    return readFromText(file.readAll(), section, key, defaultValue);
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
    const QByteArray updated = *writeToText(data, section, key, value);
    if (file.write(updated) != updated.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace profilefile
