#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// Rebuilds JPEG frames from their chunks (chunks::endsFrame says which datagram ends one) and
// counts how many of them decode.
//
// A datagram over a chunk's size cannot be a chunk: like a failed read it adds nothing and ends
// the frame. A frame that would grow past chunks::kMaxFrame is dropped (counted as failed) and
// the next chunk starts afresh, so a sender that never sends a short datagram costs bounded
// memory.
class FrameAssembler
{
public:
    enum class Mode {
        // Every frame is handed out and test-decoded for the counts (the simulator).
        Counting,
        // A frame must begin with the start-of-image marker: a student that starts listening in
        // the middle of a frame drops its tail and waits for the next one. Frames are handed
        // out undecoded, since whoever shows them decodes them anyway.
        Viewing,
    };

    explicit FrameAssembler(Mode mode = Mode::Counting) : m_mode(mode) {}

    // Adds one datagram; returns the frame it completed, if any, after decoding it for the counts.
    std::optional<QByteArray> add(QByteArrayView datagram);
    // Whether the file decodes whole, with no damaged data on the way; a decode at 1/8 of the
    // size checks every byte of the coded data at a fraction of the cost.
    static bool decodes(QByteArrayView frame);

    int completed() const { return m_completed; }
    int decoded() const { return m_decoded; }
    int failed() const { return m_completed - m_decoded; }
    qsizetype pendingSize() const { return m_frame.size(); }
    void reset();

private:
    bool beginsFrame(QByteArrayView datagram) const;

    Mode m_mode;
    QByteArray m_frame;
    int m_completed = 0;
    int m_decoded = 0;
};
