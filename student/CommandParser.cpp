#include "CommandParser.h"

#include <array>

namespace {

using Kind = StudentCommand::Kind;

struct FixedText
{
    QByteArrayView text;
    Kind kind;
};

// Longest first, so that a whole text is never taken for a shorter one it contains.
constexpr std::array<FixedText, 14> kFixedTexts{{
    {"UNBLACKSCREEN", Kind::UnblackScreen},
    {"BLACKSCREEN", Kind::BlackScreen},
    {"NOTSCREEN", Kind::NotScreen},
    {"SCREEN", Kind::Screen},
    {"IMAGE", Kind::Image},
    {"STOP", Kind::Stop},
    {"01", Kind::LogOff},
    {"02", Kind::Restart},
    {"03", Kind::ShutDown},
    {"04", Kind::Notepad},
    {"05", Kind::Explorer},
    {"06", Kind::WordPad},
    {"07", Kind::Paint},
    {"08", Kind::Word},
}};

constexpr QByteArrayView kMessagePrefix = "2";
constexpr QByteArrayView kCustomPrefix = "00";
constexpr QByteArrayView kTextStarts = "02BINSU";

} // namespace

QList<StudentCommand> CommandParser::feed(QByteArrayView bytes)
{
    m_pending.append(bytes);
    QList<StudentCommand> out;
    while (!m_pending.isEmpty() && takeOne(out)) {
    }
    return out;
}

QList<StudentCommand> CommandParser::flush()
{
    QList<StudentCommand> out;
    if (m_pending == kMessagePrefix) {
        out.append({Kind::Message, m_pending});
    } else if (m_pending == kCustomPrefix) {
        out.append({Kind::Custom, m_pending});
    } else if (!m_pending.isEmpty()) {
        out.append({Kind::Unknown, m_pending});
    }
    m_pending.clear();
    return out;
}

bool CommandParser::takeOne(QList<StudentCommand> &out)
{
    const QByteArrayView head(m_pending);
    for (const FixedText &fixed : kFixedTexts) {
        if (head.startsWith(fixed.text)) {
            out.append({fixed.kind, m_pending.left(fixed.text.size())});
            m_pending.remove(0, fixed.text.size());
            return true;
        }
    }
    if (head.startsWith(kCustomPrefix) || head.startsWith(kMessagePrefix)) {
        const bool custom = head.startsWith(kCustomPrefix);
        const qsizetype prefix = custom ? kCustomPrefix.size() : kMessagePrefix.size();
        if (head.size() == prefix) {
            return false;
        }
        out.append({custom ? Kind::Custom : Kind::Message, m_pending, m_pending.mid(prefix)});
        m_pending.clear();
        return true;
    }
    for (const FixedText &fixed : kFixedTexts) {
        if (fixed.text.startsWith(head)) {
            return false;
        }
    }
    takeUnknown(out);
    return true;
}

void CommandParser::takeUnknown(QList<StudentCommand> &out)
{
    qsizetype length = 1;
    while (length < m_pending.size() && !kTextStarts.contains(m_pending.at(length))) {
        ++length;
    }
    out.append({Kind::Unknown, m_pending.left(length)});
    m_pending.remove(0, length);
}
