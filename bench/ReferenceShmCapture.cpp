#include "bench/ReferenceShmCapture.h"

#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

ReferenceShmCapture::ReferenceShmCapture()
{
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection))
        return;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    m_root = screen->root;
    m_width = screen->width_in_pixels;
    m_height = screen->height_in_pixels;
    const int id =
        shmget(IPC_PRIVATE, static_cast<std::size_t>(m_width) * m_height * 4, IPC_CREAT | 0600);
    if (id < 0)
        return;
    void *address = shmat(id, nullptr, 0);
    m_segment = xcb_generate_id(m_connection);
    xcb_generic_error_t *error =
        xcb_request_check(m_connection, xcb_shm_attach_checked(m_connection, m_segment, id, 0));
    shmctl(id, IPC_RMID, nullptr);
    if (error || address == reinterpret_cast<void *>(-1)) {
        std::free(error);
        return;
    }
    m_address = address;
}

ReferenceShmCapture::~ReferenceShmCapture()
{
    if (m_address)
        shmdt(m_address);
    xcb_disconnect(m_connection);
}

const std::uint8_t *ReferenceShmCapture::capture()
{
    return capture(0, 0, m_width, m_height);
}

const std::uint8_t *ReferenceShmCapture::capture(int x, int y, int width, int height)
{
    xcb_shm_get_image_reply_t *reply = xcb_shm_get_image_reply(
        m_connection,
        xcb_shm_get_image(m_connection, m_root, std::int16_t(x), std::int16_t(y),
                          std::uint16_t(width), std::uint16_t(height), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment, 0),
        nullptr);
    const bool ok = reply != nullptr;
    std::free(reply);
    return ok ? static_cast<const std::uint8_t *>(m_address) : nullptr;
}
