#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct xcb_connection_t;

// Copies the primary screen of the X display into 32-bit BGRX rows, without the pointer.
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

    // Captures the whole screen at its current size; raises AppError when it cannot.
    const Frame &capture();

    // Whether the last capture went through a shared-memory segment.
    bool usesSharedMemory() const { return m_shmSegment != 0; }

private:
    void connect();
    void disconnect();
    void checkPixelFormat();
    void prepareSharedMemory(std::size_t bytes);
    void releaseSharedMemory();
    bool captureShared(int width, int height);
    void capturePlain(int width, int height);
    [[noreturn]] void failCapture(int errorCode);

    Transport m_transport;
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    bool m_shmAvailable = false;
    std::uint32_t m_shmSegment = 0;
    void *m_shmAddress = nullptr;
    std::size_t m_shmSize = 0;
    std::unique_ptr<void, void (*)(void *)> m_plainReply;
    Frame m_frame;
};
