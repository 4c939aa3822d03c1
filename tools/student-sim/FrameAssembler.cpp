#include "FrameAssembler.h"

#include "JpegCodec.h"

namespace {

constexpr qsizetype kMaxFrameSize = 16 * 1024 * 1024;
constexpr int kCheckScale = 8;

} // namespace

std::optional<QByteArray> FrameAssembler::add(QByteArrayView datagram)
{
    if (datagram.size() == kChunkSize) {
        if (m_frame.size() + kChunkSize > kMaxFrameSize) {
            m_frame.clear();
            ++m_completed;
            return std::nullopt;
        }
        m_frame.append(datagram);
        return std::nullopt;
    }
    if (datagram.size() < kChunkSize) {
        m_frame.append(datagram);
    }
    QByteArray frame;
    frame.swap(m_frame);
    ++m_completed;
    if (decodes(frame)) {
        ++m_decoded;
    }
    return frame;
}

bool FrameAssembler::decodes(QByteArrayView frame)
{
    return !JpegCodec::decode(frame, kCheckScale).isNull();
}

void FrameAssembler::reset()
{
    m_frame.clear();
    m_completed = 0;
    m_decoded = 0;
}
