#pragma once

#include <QPoint>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/PixelFormat.h"
#include "platform/PrimaryOutput.h"

struct xcb_connection_t;

// Copies the primary output of the X display into 32-bit BGRX rows, without the pointer, and
// tells where the pointer is in that output's pixels.
class ScreenCapture
{
public:
    // How pixels travel from the X server: shared memory when the server offers it.
    enum class Transport { Auto, Plain };

    // One captured screen; its pixels stay valid until the next capture or destruction.
    struct Frame
    {
        int width = 0;
        int height = 0;
        int stride = 0;
        const std::uint8_t *pixels = nullptr;
    };

    explicit ScreenCapture(Transport transport = Transport::Auto);
    ~ScreenCapture();
    ScreenCapture(const ScreenCapture &) = delete;
    ScreenCapture &operator=(const ScreenCapture &) = delete;

    // Connects and checks that this display's pixels can be captured; raises AppError in plain
    // words when they cannot.
    void prepare();

    // Captures the primary output at its current size; raises AppError when it cannot.
    const Frame &capture();

    // The pointer in screen pixels relative to the top-left of the output the last capture took
    // (negative left of or above it). One round trip to the server.
    QPoint pointer();

    // Whether the last capture went through a shared-memory segment.
    bool usesSharedMemory() const { return m_shmSegment != 0; }
    // Whether the last capture handed over the server's rows without converting them.
    bool zeroCopy() const { return m_format.isBgrx(); }

private:
    void connect();
    void disconnect();
    void findArea();
    bool layoutChanged();
    void prepareSharedMemory(std::size_t bytes);
    void releaseSharedMemory();
    bool captureShared(const PrimaryOutput::Rect &area);
    void capturePlain(const PrimaryOutput::Rect &area);
    void convertIfNeeded();
    [[noreturn]] void failCapture(int errorCode);

    Transport m_transport;
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    PixelFormat m_format;
    PrimaryOutput::Rect m_area;
    bool m_areaKnown = false;
    bool m_shmAvailable = false;
    std::uint32_t m_shmSegment = 0;
    void *m_shmAddress = nullptr;
    std::size_t m_shmSize = 0;
    std::unique_ptr<void, void (*)(void *)> m_plainReply;
    std::vector<std::uint8_t> m_converted;
    Frame m_frame;
};
