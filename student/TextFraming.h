#pragma once

#include <QByteArrayView>

// Where a message ("2" and its text) or a custom command ("00" and its text) ends. The stream
// has no separators, so the agent ends such a text where the stream falls quiet, or at the
// bound; the console keeps every later command to that student back until the student has
// acknowledged the whole text and the agent's gap has passed twice over. One definition for
// both sides.
namespace framing {

// Silence that ends a text at the agent. A long text written at once reaches the agent as one
// stream whose pauses stay far below this even on a slow link (bench/MessageDeliveryBench.cpp
// measures them), while a console's next command comes only after the console's wait below.
inline constexpr int kQuietGapMs = 100;
// The console's pause, counted from the student's acknowledgement of the text's last byte: the
// agent's gap and as much again, for an agent that reads late.
inline constexpr int kConsoleWaitMs = 2 * kQuietGapMs;
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
