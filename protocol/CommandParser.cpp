#include "protocol/CommandParser.h"

#include "protocol/Commands.h"
#include "protocol/TextFraming.h"

#include <array>
#include <utility>

namespace {

using Kind = StudentCommand::Kind;

struct FixedText
{
    QByteArrayView text;
    Kind kind;
};

// Longest first, so that a whole text is never taken for a shorter one it contains.
constexpr std::array<FixedText, 14> kFixedTexts{{
    {command::UnblackScreen, Kind::UnblackScreen},
    {command::BlackScreen, Kind::BlackScreen},
    {command::NotScreen, Kind::NotScreen},
    {command::Screen, Kind::Screen},
    {command::Image, Kind::Image},
    {command::Stop, Kind::Stop},
    {command::LogOff, Kind::LogOff},
    {command::Restart, Kind::Restart},
    {command::ShutDown, Kind::ShutDown},
    {command::Notepad, Kind::Notepad},
    {command::Explorer, Kind::Explorer},
    {command::WordPad, Kind::WordPad},
    {command::Paint, Kind::Paint},
    {command::Word, Kind::Word},
}};

// The first bytes of every text, where a run of junk ends.
constexpr std::array<bool, 256> kTextStarts = [] {
    std::array<bool, 256> starts{};
    for (const FixedText &fixed : kFixedTexts) {
        starts[static_cast<unsigned char>(fixed.text.front())] = true;
    }
    starts[static_cast<unsigned char>(framing::kMessagePrefix.front())] = true;
    starts[static_cast<unsigned char>(framing::kCustomPrefix.front())] = true;
    return starts;
}();
constexpr unsigned char kFirstLeadByte = 0x81;

// The length of the longest front of a code page 936 text that ends on a whole character, so a
// text cut at the bound never ends in half a character.
qsizetype wholeCharacters(QByteArrayView text)
{
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype width = static_cast<unsigned char>(text[at]) >= kFirstLeadByte ? 2 : 1;
        if (at + width > text.size()) {
            break;
        }
        at += width;
    }
    return at;
}

QByteArrayView prefixOf(Kind kind)
{
    return kind == Kind::Custom ? framing::kCustomPrefix : framing::kMessagePrefix;
}

} // namespace

QList<StudentCommand> CommandParser::feed(QByteArrayView bytes)
{
    QList<StudentCommand> out;
    QByteArray joined;
    if (!m_pending.isEmpty()) {
        joined = std::exchange(m_pending, QByteArray()).append(bytes);
        bytes = joined;
    }
    qsizetype at = 0;
    while (at < bytes.size()) {
        switch (m_state) {
        case State::Text:
            at += takeText(bytes.sliced(at), out);
            break;
        case State::Discarding:
            m_discarded += bytes.size() - at;
            at = bytes.size();
            break;
        case State::Commands:
            if (const qsizetype used = takeCommand(bytes.sliced(at), out); used > 0) {
                at += used;
            } else {
                m_pending = bytes.sliced(at).toByteArray();
                at = bytes.size();
            }
            break;
        }
    }
    return out;
}

QList<StudentCommand> CommandParser::quiet()
{
    QList<StudentCommand> out;
    if (m_state == State::Text) {
        out.append(closeText(false));
    }
    m_state = State::Commands;
    return out;
}

QList<StudentCommand> CommandParser::flush()
{
    QList<StudentCommand> out = quiet();
    if (!m_pending.isEmpty()) {
        out.append({Kind::Unknown, m_pending});
    }
    m_pending.clear();
    return out;
}

qsizetype CommandParser::takeCommand(QByteArrayView bytes, QList<StudentCommand> &out)
{
    for (const FixedText &fixed : kFixedTexts) {
        if (bytes.startsWith(fixed.text)) {
            out.append({fixed.kind, fixed.text.toByteArray()});
            return fixed.text.size();
        }
    }
    if (bytes.startsWith(framing::kCustomPrefix)) {
        openText(Kind::Custom);
        return framing::kCustomPrefix.size();
    }
    if (bytes.startsWith(framing::kMessagePrefix)) {
        openText(Kind::Message);
        return framing::kMessagePrefix.size();
    }
    for (const FixedText &fixed : kFixedTexts) {
        if (fixed.text.startsWith(bytes)) {
            return 0;
        }
    }
    qsizetype length = 1;
    while (length < bytes.size() && !kTextStarts[static_cast<unsigned char>(bytes[length])]) {
        ++length;
    }
    out.append({Kind::Unknown, bytes.first(length).toByteArray()});
    return length;
}

qsizetype CommandParser::takeText(QByteArrayView bytes, QList<StudentCommand> &out)
{
    const qsizetype room = framing::kTextBound - m_text.size();
    if (bytes.size() <= room) {
        m_text.append(bytes);
        return bytes.size();
    }
    m_text.append(bytes.first(room));
    out.append(closeText(true));
    m_state = State::Discarding;
    return room;
}

void CommandParser::openText(Kind kind)
{
    m_state = State::Text;
    m_textKind = kind;
    m_text.clear();
}

StudentCommand CommandParser::closeText(bool cut)
{
    StudentCommand text(m_textKind, prefixOf(m_textKind).toByteArray() + m_text,
                        cut ? m_text.first(wholeCharacters(m_text)) : m_text, cut);
    // A text of up to the bound is held only while it is open.
    m_text = QByteArray();
    m_state = State::Commands;
    return text;
}
