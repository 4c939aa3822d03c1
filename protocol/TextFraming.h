#pragma once

#include <QByteArrayView>

// Where a message ("2" and its text) or a custom command ("00" and its text) ends. The stream
// has no separators, so the agent ends such a text where the stream falls quiet, or at the
// bound; the console keeps every later command to that student back until the student has
// acknowledged the whole text and the agent's gap has passed with a margin. One definition
// for both sides.
namespace framing {

// Silence that ends a text at the agent. A 256 KiB message written at once reaches the agent
// with silences of at most 0.4 ms at 100 Mbit/s, 25 ms at 2, 40 ms at 1 and 80 ms at
// 0.5 Mbit/s; but where a packet is lost, the retransmission silences the stream for 260 to
// 370 ms at 1 to 2 Mbit/s (bench/message_gaps.py). A gap that ended a text inside such a pause
// would make its tail commands, while a longer one only delays the next command after a text.
inline constexpr int kQuietGapMs = 400;
// The console's pause, counted from the student's acknowledgement of the text's last byte: the
// agent's gap and a margin for an agent that reads late.
inline constexpr int kConsoleWaitMs = kQuietGapMs + 200;
// The most text bytes (after the prefix) an agent takes: a message is shown up to here and
// marked as cut, a custom command beyond it is not run, and what follows it until the stream
// falls quiet is discarded. 256 KiB holds a long class list or seating chart.
inline constexpr qsizetype kTextBound = 256 * 1024;

inline constexpr QByteArrayView kMessagePrefix = "2";
inline constexpr QByteArrayView kCustomPrefix = "00";

// The text is a message or a custom command, so only silence can end it.
inline bool endsWhenQuiet(QByteArrayView text)
{
    return text.startsWith(kMessagePrefix) || text.startsWith(kCustomPrefix);
}

} // namespace framing
