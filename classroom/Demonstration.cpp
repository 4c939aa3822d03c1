#include "classroom/Demonstration.h"

#include "classroom/FrameSource.h"
#include "net/TUDPEndpoint.h"

#include <algorithm>

Demonstration::Demonstration(TUDPEndpoint *imageEndpoint, FrameSource *source,
                             const std::int32_t &quality)
    : m_endpoint(imageEndpoint), m_source(source), m_quality(quality)
{
}

void Demonstration::prepare()
{
    m_source->prepare();
}

void Demonstration::CaptureScreen()
{
    m_stream.load(m_source->captureFrame(m_quality));
    m_frameBytesLeft = std::int32_t(m_stream.size());
}

void Demonstration::SendScreenChunk()
{
    if (m_stream.isEmpty())
        CaptureScreen();
    if (m_stream.isEmpty())
        return;
    const int n = std::min(m_frameBytesLeft, std::int32_t(kChunkSize));
    m_stream.read(m_chunk.data(), n);
    m_frameBytesLeft -= n;
    // Emptied before the last chunk goes out: the next tick captures whatever that send does.
    if (m_frameBytesLeft == 0)
        m_stream.clear();
    try {
        m_endpoint->SendDatagram(m_chunk.data(), n);
    } catch (const std::exception &) {
        m_stream.clear();
    }
}

int Demonstration::catchUp(int count)
{
    int sent = 0;
    for (; sent < count && !m_stream.isEmpty(); ++sent)
        SendScreenChunk();
    return sent;
}
