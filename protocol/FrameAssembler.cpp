#include "protocol/FrameAssembler.h"

#include "protocol/Chunks.h"
#include "protocol/JpegDecoder.h"

namespace {

constexpr char kStartOfImage[] = "\xff\xd8";

} // namespace

std::optional<QByteArray> FrameAssembler::add(QByteArrayView datagram)
{
    if (m_frame.isEmpty() && !beginsFrame(datagram)) {
        return std::nullopt;
    }
    const bool chunk = datagram.size() <= chunks::kSize;
    if (chunk && !chunks::endsFrame(datagram.size())) {
        if (m_frame.size() + datagram.size() > chunks::kMaxFrame) {
            m_frame.clear();
            ++m_completed;
            return std::nullopt;
        }
        m_frame.append(datagram);
        return std::nullopt;
    }
    if (chunk) {
        m_frame.append(datagram);
    }
    QByteArray frame;
    frame.swap(m_frame);
    ++m_completed;
    if (m_mode == Mode::Counting && decodes(frame)) {
        ++m_decoded;
    }
    return frame;
}

bool FrameAssembler::beginsFrame(QByteArrayView datagram) const
{
    // Entropy-coded data never holds FF D8, so no chunk from inside a frame passes for a start.
    return m_mode == Mode::Counting || datagram.startsWith(QByteArrayView(kStartOfImage, 2));
}

bool FrameAssembler::decodes(QByteArrayView frame)
{
    JpegDecoder decoder;
    // No picture is smaller than its 1/8 decode, so this target always gives that.
    decoder.setTargetSize(1, 1);
    return decoder.decode(reinterpret_cast<const std::uint8_t *>(frame.data()),
                          static_cast<std::size_t>(frame.size())) &&
           !decoder.lastWasDamaged();
}

void FrameAssembler::reset()
{
    m_frame.clear();
    m_completed = 0;
    m_decoded = 0;
}
