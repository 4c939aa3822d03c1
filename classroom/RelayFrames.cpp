#include "classroom/RelayFrames.h"

#include "classroom/PictureSource.h"
#include "protocol/JpegDecoder.h"

#include <vector>

namespace {

constexpr int kBytesPerPixel = 4;

// Decodes the newest file when a new one has come; meanwhile the last picture stands.
class RelayPictures : public PictureSource
{
public:
    explicit RelayPictures(std::shared_ptr<RelayFrames::Slot> slot) : m_slot(std::move(slot)) {}

    Picture grab() override
    {
        QByteArray file;
        {
            std::lock_guard<std::mutex> hold(m_slot->lock);
            if (m_slot->count != m_seen) {
                m_seen = m_slot->count;
                file = m_slot->file;
            }
        }
        if (!file.isEmpty() && m_decoder.decode(file))
            convert(m_decoder.image());
        return m_picture;
    }

private:
    void convert(const JpegDecoder::Image &image)
    {
        m_pixels.resize(std::size_t(image.width) * image.height * kBytesPerPixel);
        for (std::size_t i = 0, n = std::size_t(image.width) * image.height; i < n; ++i) {
            m_pixels[i * 4] = image.rgb[i * 3 + 2];
            m_pixels[i * 4 + 1] = image.rgb[i * 3 + 1];
            m_pixels[i * 4 + 2] = image.rgb[i * 3];
            m_pixels[i * 4 + 3] = 0;
        }
        m_picture = {image.width,     image.height, image.width * kBytesPerPixel,
                     m_pixels.data(), std::nullopt, {}};
    }

    std::shared_ptr<RelayFrames::Slot> m_slot;
    quint64 m_seen = 0;
    JpegDecoder m_decoder;
    std::vector<std::uint8_t> m_pixels;
    Picture m_picture;
};

} // namespace

RelayFrames::RelayFrames() : m_slot(std::make_shared<Slot>()) {}

void RelayFrames::offer(const QByteArray &file)
{
    std::lock_guard<std::mutex> hold(m_slot->lock);
    m_slot->file = file;
    ++m_slot->count;
}

void RelayFrames::clear()
{
    std::lock_guard<std::mutex> hold(m_slot->lock);
    m_slot->file.clear();
    ++m_slot->count;
    m_sending.clear();
}

// The older stream sends each file whole, as the student made it, and the newest again and
// again while no other comes, as it does a screen that does not change.
std::span<const std::uint8_t> RelayFrames::captureFrame(std::int32_t)
{
    {
        std::lock_guard<std::mutex> hold(m_slot->lock);
        m_sending = m_slot->file;
    }
    return {reinterpret_cast<const std::uint8_t *>(m_sending.constData()),
            std::size_t(m_sending.size())};
}

std::unique_ptr<PictureSource> RelayFrames::pictureSource()
{
    return std::make_unique<RelayPictures>(m_slot);
}
