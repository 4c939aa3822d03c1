#include "capture/ScreenCapture.h"

#include "capture/XcbReply.h"
#include "system/AppError.h"

#include <algorithm>
#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace {

constexpr std::uint32_t allPlanes = ~0u;

QString displayName()
{
    const char *name = std::getenv("DISPLAY");
    return name ? QString::fromLocal8Bit(name) : QString();
}

} // namespace

ScreenCapture::ScreenCapture(Transport transport)
    : m_transport(transport), m_plainReply(nullptr, std::free)
{
}

ScreenCapture::~ScreenCapture()
{
    disconnect();
}

void ScreenCapture::prepare()
{
    if (!m_connection)
        connect();
}

const ScreenCapture::Frame &ScreenCapture::capture()
{
    if (!m_connection)
        connect();
    findArea();
    // A failed shared-memory request leaves the plain copy as the way for this connection.
    if (!captureShared(m_area))
        capturePlain(m_area);
    convertIfNeeded();
    return m_frame;
}

const ScreenCapture::Frame &ScreenCapture::capture(const std::vector<std::pair<int, int>> &rows)
{
    if (!m_connection)
        connect();
    const PrimaryOutput::Rect before = m_area;
    findArea();
    const bool lastWhole = m_frame.pixels && m_frame.pixels == m_shmAddress &&
                           m_frame.width == m_area.width && m_frame.height == m_area.height &&
                           before.x == m_area.x && before.y == m_area.y;
    if (!lastWhole || !m_format.isBgrx())
        return capture();
    captureSharedRows(rows);
    return m_frame;
}

QPoint ScreenCapture::pointer(std::chrono::milliseconds maxAge)
{
    prepareForPointer();
    const auto now = std::chrono::steady_clock::now();
    xcb_query_pointer_reply_t *answer = nullptr;
    if (m_pointerQuestion && now - m_pointerAskedAt < maxAge) {
        // Normally in long ago and taken without waiting; a slow server is waited for.
        void *ready = nullptr;
        if (xcb_poll_for_reply(m_connection, *m_pointerQuestion, &ready, nullptr) != 0)
            answer = static_cast<xcb_query_pointer_reply_t *>(ready);
        else
            answer = xcb_query_pointer_reply(m_connection, {*m_pointerQuestion}, nullptr);
    } else {
        // An answer from long ago (the previous demonstration's last tick) is no news.
        if (m_pointerQuestion)
            xcb_discard_reply(m_connection, *m_pointerQuestion);
        answer =
            xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
    }
    m_pointerQuestion.reset();
    const QPoint position = pointerFrom(answer);
    m_pointerQuestion = xcb_query_pointer(m_connection, m_root).sequence;
    m_pointerAskedAt = now;
    xcb_flush(m_connection);
    return position;
}

void ScreenCapture::askPointer()
{
    prepareForPointer();
    if (m_pointerQuestion)
        xcb_discard_reply(m_connection, *m_pointerQuestion);
    m_pointerQuestion = xcb_query_pointer(m_connection, m_root).sequence;
    m_pointerAskedAt = std::chrono::steady_clock::now();
}

std::optional<QPoint> ScreenCapture::pointerAnswer()
{
    void *ready = nullptr;
    if (!m_pointerQuestion ||
        xcb_poll_for_reply(m_connection, *m_pointerQuestion, &ready, nullptr) == 0)
        return std::nullopt;
    m_pointerQuestion.reset();
    if (!ready)
        return std::nullopt;
    return pointerFrom(static_cast<xcb_query_pointer_reply_t *>(ready));
}

void ScreenCapture::prepareForPointer()
{
    if (!m_connection)
        connect();
    if (!m_areaKnown)
        findArea();
}

QPoint ScreenCapture::pointerFrom(xcb_query_pointer_reply_t *answer)
{
    const XcbPtr<xcb_query_pointer_reply_t> reply(answer);
    if (!reply) {
        if (xcb_connection_has_error(m_connection))
            disconnect();
        throw AppError(QString::fromUtf8("无法读取 X 显示“%1”上的鼠标位置").arg(displayName()));
    }
    return {reply->root_x - m_area.x, reply->root_y - m_area.y};
}

// The output's rectangle is read again only after the server has told of a change of screens,
// outputs or monitors; a new layout then applies from the next frame.
void ScreenCapture::findArea()
{
    if (m_areaKnown && !layoutChanged())
        return;
    if (!m_areaKnown)
        PrimaryOutput::watchChanges(m_connection, m_root);
    xcb_generic_error_t *rawError = nullptr;
    XcbPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, m_root), &rawError));
    XcbPtr<xcb_generic_error_t> error(rawError);
    if (!geometry) {
        disconnect();
        throw AppError(QString::fromUtf8("无法读取 X 显示“%1”的屏幕大小").arg(displayName()));
    }
    m_area = PrimaryOutput::find(m_connection, m_root, {0, 0, geometry->width, geometry->height});
    m_areaKnown = true;
}

// Only layout notifications are selected on this connection; anything else queued (an error of
// a request nobody waited for) just costs one more look.
bool ScreenCapture::layoutChanged()
{
    bool changed = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        changed = true;
        std::free(event);
    }
    return changed;
}

void ScreenCapture::connect()
{
    const QString name = displayName();
    if (name.isEmpty())
        throw AppError(QString::fromUtf8("无法截取屏幕：没有 X 显示（DISPLAY 未设置）"));
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        throw AppError(QString::fromUtf8("无法打开 X 显示“%1”").arg(name));
    }
    m_connection = connection;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i)
        xcb_screen_next(&it);
    if (it.rem == 0) {
        disconnect();
        throw AppError(QString::fromUtf8("X 显示“%1”没有第 %2 号屏幕").arg(name).arg(screenNumber));
    }
    m_root = it.data->root;
    m_format = PixelFormat::ofRoot(connection, m_root);
    const QString refusal = m_format.refusal();
    if (!refusal.isEmpty()) {
        disconnect();
        throw AppError(refusal);
    }
    m_shmAvailable = false;
    if (m_transport == Transport::Auto) {
        const xcb_query_extension_reply_t *shm = xcb_get_extension_data(connection, &xcb_shm_id);
        m_shmAvailable = shm && shm->present;
    }
}

void ScreenCapture::disconnect()
{
    releaseSharedMemory();
    m_plainReply.reset();
    m_frame = Frame();
    m_areaKnown = false;
    m_pointerQuestion.reset();
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
}

// BGRX rows go to the encoder as the server wrote them; any other layout is widened into a
// buffer of our own that lives as long as the screen keeps its size.
void ScreenCapture::convertIfNeeded()
{
    if (m_format.isBgrx())
        return;
    const std::size_t bytes = static_cast<std::size_t>(m_frame.width) * m_frame.height * 4;
    if (m_converted.size() != bytes)
        std::vector<std::uint8_t>(bytes).swap(m_converted);
    m_format.toBgrx(m_frame.pixels, m_frame.stride, m_frame.width, m_frame.height,
                    m_converted.data());
    m_frame = {m_frame.width, m_frame.height, m_frame.width * 4, m_converted.data()};
}

// One segment serves every frame; it is replaced only when a larger screen needs more room.
void ScreenCapture::prepareSharedMemory(std::size_t bytes)
{
    if (m_shmSegment != 0 && bytes <= m_shmSize)
        return;
    releaseSharedMemory();
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return;
    void *address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return;
    }
    const std::uint32_t segment = xcb_generate_id(m_connection);
    XcbPtr<xcb_generic_error_t> error(
        xcb_request_check(m_connection, xcb_shm_attach_checked(m_connection, segment, id, 0)));
    // Marked for removal at once: the kernel frees it when both sides detach, even after a crash.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        shmdt(address);
        return;
    }
    m_shmSegment = segment;
    m_shmAddress = address;
    m_shmSize = bytes;
}

void ScreenCapture::releaseSharedMemory()
{
    if (m_shmSegment != 0 && m_connection && !xcb_connection_has_error(m_connection))
        xcb_shm_detach(m_connection, m_shmSegment);
    if (m_shmAddress)
        shmdt(m_shmAddress);
    m_shmSegment = 0;
    m_shmAddress = nullptr;
    m_shmSize = 0;
}

bool ScreenCapture::captureShared(const PrimaryOutput::Rect &area)
{
    if (!m_shmAvailable)
        return false;
    const int stride = m_format.stride(area.width);
    prepareSharedMemory(static_cast<std::size_t>(stride) * area.height);
    if (m_shmSegment == 0) {
        m_shmAvailable = false;
        return false;
    }
    xcb_generic_error_t *rawError = nullptr;
    XcbPtr<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        m_connection,
        xcb_shm_get_image(m_connection, m_root, area.x, area.y, area.width, area.height, allPlanes,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, m_shmSegment, 0),
        &rawError));
    XcbPtr<xcb_generic_error_t> error(rawError);
    if (!reply)
        failCapture(error ? error->error_code : 0);
    m_plainReply.reset();
    m_frame = {area.width, area.height, stride, static_cast<const std::uint8_t *>(m_shmAddress)};
    return true;
}

// Every range asked at once, then every answer taken: one wait for the server, not one a range.
void ScreenCapture::captureSharedRows(const std::vector<std::pair<int, int>> &rows)
{
    std::vector<xcb_shm_get_image_cookie_t> questions;
    questions.reserve(rows.size());
    for (auto [top, bottom] : rows) {
        top = std::max(top, 0);
        bottom = std::min(bottom, int(m_area.height));
        if (top >= bottom)
            continue;
        questions.push_back(xcb_shm_get_image(
            m_connection, m_root, m_area.x, std::int16_t(m_area.y + top), m_area.width,
            std::uint16_t(bottom - top), allPlanes, XCB_IMAGE_FORMAT_Z_PIXMAP, m_shmSegment,
            std::uint32_t(top) * std::uint32_t(m_frame.stride)));
    }
    int failure = -1;
    for (const xcb_shm_get_image_cookie_t question : questions) {
        xcb_generic_error_t *rawError = nullptr;
        const XcbPtr<xcb_shm_get_image_reply_t> reply(
            xcb_shm_get_image_reply(m_connection, question, &rawError));
        const XcbPtr<xcb_generic_error_t> error(rawError);
        if (!reply && failure < 0)
            failure = error ? error->error_code : 0;
    }
    if (failure >= 0)
        failCapture(failure);
}

// A broken connection is dropped so the next capture connects afresh.
void ScreenCapture::failCapture(int errorCode)
{
    if (xcb_connection_has_error(m_connection))
        disconnect();
    throw AppError(QString::fromUtf8("无法截取 X 显示“%1”的屏幕（X 错误 %2）")
                       .arg(displayName())
                       .arg(errorCode));
}

void ScreenCapture::capturePlain(const PrimaryOutput::Rect &area)
{
    xcb_generic_error_t *rawError = nullptr;
    xcb_get_image_reply_t *reply =
        xcb_get_image_reply(m_connection,
                            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, area.x,
                                          area.y, area.width, area.height, allPlanes),
                            &rawError);
    XcbPtr<xcb_generic_error_t> error(rawError);
    const int stride = m_format.stride(area.width);
    const std::size_t expected = static_cast<std::size_t>(stride) * area.height;
    if (!reply || static_cast<std::size_t>(xcb_get_image_data_length(reply)) < expected) {
        std::free(reply);
        failCapture(error ? error->error_code : 0);
    }
    // The reply itself holds the rows; keeping it saves copying a whole screen per frame.
    m_plainReply.reset(reply);
    m_frame = {area.width, area.height, stride, xcb_get_image_data(reply)};
}
