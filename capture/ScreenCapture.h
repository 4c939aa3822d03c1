#pragma once

#include <QPoint>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "capture/PixelFormat.h"
#include "capture/PrimaryOutput.h"

struct xcb_connection_t;
struct xcb_query_pointer_reply_t;

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
    // Captures only the rows of the output in the [top, bottom) ranges given, the others left as
    // the last capture took them; where that cannot hold (no shared memory, pixels converted,
    // a new layout) the whole output is captured. For a caller told by the server what changed.
    const Frame &capture(const std::vector<std::pair<int, int>> &rows);

    // The pointer in screen pixels relative to the top-left of the output the last capture took
    // (negative left of or above it). Asked at every 10 ms tick, it need not wait on the server:
    // the answer to the question the previous call left is taken when that went out less than
    // maxAge ago, and a new question goes out for the next call; otherwise it asks and waits.
    QPoint pointer(std::chrono::milliseconds maxAge = std::chrono::milliseconds::zero());
    // Puts the pointer question without waiting or sending it yet: it travels with the next
    // request that waits (a capture), and pointerAnswer() then takes its answer.
    void askPointer();
    // The answer to the question left, where it has come; none where it has not, or failed.
    std::optional<QPoint> pointerAnswer();

    // The root's rectangle the last capture took.
    const PrimaryOutput::Rect &area() const { return m_area; }
    // Whether the last capture went through a shared-memory segment.
    bool usesSharedMemory() const { return m_shmSegment != 0; }
    // Whether the last capture handed over the server's rows without converting them.
    bool zeroCopy() const { return m_format.isBgrx(); }

private:
    void connect();
    void disconnect();
    void findArea();
    void prepareForPointer();
    QPoint pointerFrom(xcb_query_pointer_reply_t *answer);
    bool layoutChanged();
    void prepareSharedMemory(std::size_t bytes);
    void releaseSharedMemory();
    bool captureShared(const PrimaryOutput::Rect &area);
    void captureSharedRows(const std::vector<std::pair<int, int>> &rows);
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
    // The pointer question pointer() left unanswered, and when it went out.
    std::optional<unsigned int> m_pointerQuestion;
    std::chrono::steady_clock::time_point m_pointerAskedAt;
};
