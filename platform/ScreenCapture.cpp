#include "platform/ScreenCapture.h"

#include "platform/AppError.h"

#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace {

constexpr std::uint32_t allPlanes = ~0u;
constexpr int bytesPerPixel = 4;

QString displayName()
{
    const char *name = std::getenv("DISPLAY");
    return name ? QString::fromLocal8Bit(name) : QString();
}

// Error replies from xcb are malloc'ed; this frees them whatever path leaves the scope.
struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};
template <typename T> using XcbPtr = std::unique_ptr<T, FreeDeleter>;

} // namespace

ScreenCapture::ScreenCapture(Transport transport)
    : m_transport(transport), m_plainReply(nullptr, std::free)
{
}

ScreenCapture::~ScreenCapture()
{
    disconnect();
}

const ScreenCapture::Frame &ScreenCapture::capture()
{
    if (!m_connection)
        connect();
    xcb_generic_error_t *rawError = nullptr;
    XcbPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, m_root), &rawError));
    XcbPtr<xcb_generic_error_t> error(rawError);
    if (!geometry) {
        disconnect();
        throw AppError(QStringLiteral("Cannot read the size of the screen on the X display \"%1\"")
                           .arg(displayName()));
    }
    const int width = geometry->width;
    const int height = geometry->height;
    // A failed shared-memory request leaves the plain copy as the way for this connection.
    if (!captureShared(width, height))
        capturePlain(width, height);
    return m_frame;
}

void ScreenCapture::connect()
{
    const QString name = displayName();
    if (name.isEmpty())
        throw AppError(
            QStringLiteral("Cannot capture the screen: no X display (DISPLAY is not set)"));
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        throw AppError(QStringLiteral("Cannot open the X display \"%1\"").arg(name));
    }
    m_connection = connection;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i)
        xcb_screen_next(&it);
    if (it.rem == 0) {
        disconnect();
        throw AppError(
            QStringLiteral("The X display \"%1\" has no screen %2").arg(name).arg(screenNumber));
    }
    m_root = it.data->root;
    checkPixelFormat();
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
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
}

// Our rows promise BGRX bytes; anything else would reach the encoder with its colours mixed up.
void ScreenCapture::checkPixelFormat()
{
    const xcb_setup_t *setup = xcb_get_setup(m_connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    const xcb_screen_t *screen = nullptr;
    for (; screens.rem > 0; xcb_screen_next(&screens)) {
        if (screens.data->root == m_root)
            screen = screens.data;
    }
    bool paddedTo32 = false;
    xcb_format_iterator_t formats = xcb_setup_pixmap_formats_iterator(setup);
    for (; formats.rem > 0; xcb_format_next(&formats)) {
        if (formats.data->depth == screen->root_depth)
            paddedTo32 = formats.data->bits_per_pixel == 32 && formats.data->scanline_pad == 32;
    }
    const xcb_visualtype_t *visual = nullptr;
    xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(screen);
    for (; depths.rem > 0 && !visual; xcb_depth_next(&depths)) {
        xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data);
        for (; visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen->root_visual)
                visual = visuals.data;
        }
    }
    const bool bgrx = visual && visual->red_mask == 0xff0000 && visual->green_mask == 0x00ff00 &&
                      visual->blue_mask == 0x0000ff &&
                      setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    if (!paddedTo32 || !bgrx) {
        const QString name = displayName();
        disconnect();
        throw AppError(
            QStringLiteral("Cannot capture the screen of the X display \"%1\": its pixel format "
                           "(depth %2) is not 32-bit BGRX")
                .arg(name)
                .arg(screen->root_depth));
    }
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

bool ScreenCapture::captureShared(int width, int height)
{
    if (!m_shmAvailable)
        return false;
    prepareSharedMemory(static_cast<std::size_t>(width) * height * bytesPerPixel);
    if (m_shmSegment == 0) {
        m_shmAvailable = false;
        return false;
    }
    xcb_generic_error_t *rawError = nullptr;
    XcbPtr<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        m_connection,
        xcb_shm_get_image(m_connection, m_root, 0, 0, width, height, allPlanes,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, m_shmSegment, 0),
        &rawError));
    XcbPtr<xcb_generic_error_t> error(rawError);
    if (!reply)
        failCapture(error ? error->error_code : 0);
    m_plainReply.reset();
    m_frame = {width, height, width * bytesPerPixel,
               static_cast<const std::uint8_t *>(m_shmAddress)};
    return true;
}

// A broken connection is dropped so the next capture connects afresh.
void ScreenCapture::failCapture(int errorCode)
{
    if (xcb_connection_has_error(m_connection))
        disconnect();
    throw AppError(QStringLiteral("Cannot capture the screen of the X display \"%1\" (X error %2)")
                       .arg(displayName())
                       .arg(errorCode));
}

void ScreenCapture::capturePlain(int width, int height)
{
    xcb_generic_error_t *rawError = nullptr;
    xcb_get_image_reply_t *reply =
        xcb_get_image_reply(m_connection,
                            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, 0, 0,
                                          width, height, allPlanes),
                            &rawError);
    XcbPtr<xcb_generic_error_t> error(rawError);
    const std::size_t expected = static_cast<std::size_t>(width) * height * bytesPerPixel;
    if (!reply || static_cast<std::size_t>(xcb_get_image_data_length(reply)) < expected) {
        std::free(reply);
        failCapture(error ? error->error_code : 0);
    }
    // The reply itself holds the rows; keeping it saves copying a whole screen per frame.
    m_plainReply.reset(reply);
    m_frame = {width, height, width * bytesPerPixel, xcb_get_image_data(reply)};
}
