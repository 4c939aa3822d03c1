#pragma once

#include <array>
#include <cstdint>

#include "classroom/ScreenStream.h"
#include "protocol/Chunks.h"
#include "protocol/StreamKey.h"

class FrameSource;
class TUDPEndpoint;

// Streams the teacher's screen one chunk (at most `chunks::kSize` bytes) per tick: a new frame is
// captured only when the previous one has been handed out completely.
class Demonstration
{
public:
    static constexpr int kChunkSize = chunks::kSize;

    // quality is read at every capture, so a new setting applies from the next frame.
    Demonstration(TUDPEndpoint *imageEndpoint, FrameSource *source, const std::int32_t &quality);

    // Sends the next chunk, capturing first when no frame is in progress. A capture failure
    // is raised; a failed send abandons the rest of the frame without a word. A source with
    // no frame yet (a student's screen still to come) sends nothing.
    void SendScreenChunk();
    // Up to count more chunks of the frame being sent, for ticks that came too late to send
    // theirs; it never captures, so a late tick never costs a second capture. How many went.
    int catchUp(int count);
    // Frames come from here from the next capture on.
    void setSource(FrameSource *source) { m_source = source; }
    // Raises the frame source's failure when no frame can be made at all.
    void prepare();
    // Drops the frame in progress; the next tick starts a new one.
    void abandonFrame() { m_stream.clear(); }

    // The key of the demonstration running now, fresh for each (invalid between them): channel
    // agents get it before "IMAGE", and the Velmora stream is tagged with it.
    const StreamKey &streamKey() const { return m_streamKey; }
    void renewStreamKey() { m_streamKey = StreamKey::generate(); }
    void endStreamKey() { m_streamKey = StreamKey(); }

    const ScreenStream &stream() const { return m_stream; }
    std::int32_t FrameBytesLeft() const { return m_frameBytesLeft; }

private:
    void CaptureScreen();

    TUDPEndpoint *m_endpoint;
    FrameSource *m_source;
    const std::int32_t &m_quality;
    ScreenStream m_stream;
    std::int32_t m_frameBytesLeft = 0;
    std::array<char, kChunkSize> m_chunk{};
    StreamKey m_streamKey;
};
