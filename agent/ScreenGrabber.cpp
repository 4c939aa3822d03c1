#include "agent/ScreenGrabber.h"

#include "capture/ScreenCapture.h"

#include <QtDebug>
#include <exception>

ScreenGrabber::ScreenGrabber(int quality) : m_quality(quality) {}

ScreenGrabber::~ScreenGrabber() = default;

QByteArray ScreenGrabber::grab()
{
    try {
        if (!m_capture) {
            m_capture = std::make_unique<ScreenCapture>();
        }
        const ScreenCapture::Frame &frame = m_capture->capture();
        const std::span<const std::uint8_t> file =
            m_encoder.encode(frame.pixels, frame.width, frame.height, frame.stride, m_quality);
        m_failing = false;
        return QByteArray(reinterpret_cast<const char *>(file.data()), qsizetype(file.size()));
    } catch (const std::exception &error) {
        if (!m_failing) {
            qWarning().noquote() << "cannot capture the screen:" << error.what();
        }
        m_failing = true;
        m_capture.reset();
        return QByteArray();
    }
}
