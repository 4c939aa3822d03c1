#include "capture/ScreenDamage.h"

#include "capture/XcbReply.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <utility>

namespace {
// The versions whose requests are used here: damage 1.1 (subtract into a region), fixes 2.
constexpr std::uint32_t kDamageMajor = 1;
constexpr std::uint32_t kDamageMinor = 1;
constexpr std::uint32_t kFixesMajor = 2;
constexpr std::uint16_t kInputMajor = 2;
constexpr std::uint16_t kInputMinor = 2;
// The event code without the bit that marks events sent by another client.
constexpr std::uint8_t kEventType = 0x7f;

bool extensionsPresent(xcb_connection_t *connection)
{
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(connection, &xcb_damage_id);
    const xcb_query_extension_reply_t *fixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!damage || !damage->present || !fixes || !fixes->present)
        return false;
    // Each extension must be told the version its client speaks before its first request.
    const XcbPtr<xcb_xfixes_query_version_reply_t> fixesVersion(xcb_xfixes_query_version_reply(
        connection, xcb_xfixes_query_version(connection, kFixesMajor, 0), nullptr));
    const XcbPtr<xcb_damage_query_version_reply_t> damageVersion(xcb_damage_query_version_reply(
        connection, xcb_damage_query_version(connection, kDamageMajor, kDamageMinor), nullptr));
    return fixesVersion && damageVersion;
}

// Raw motion of every pointer device, told to the root whatever window the pointer is over;
// the extension's opcode, or 0 where the server has no input extension 2.
std::uint8_t followMotion(xcb_connection_t *connection, xcb_window_t root)
{
    const xcb_query_extension_reply_t *input = xcb_get_extension_data(connection, &xcb_input_id);
    if (!input || !input->present)
        return 0;
    const XcbPtr<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
        connection, xcb_input_xi_query_version(connection, kInputMajor, kInputMinor), nullptr));
    if (!version || version->major_version < kInputMajor)
        return 0;
    struct
    {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_MOTION};
    const XcbPtr<xcb_generic_error_t> error(xcb_request_check(
        connection, xcb_input_xi_select_events_checked(connection, root, 1, &mask.head)));
    return error ? 0 : input->major_opcode;
}
} // namespace

ScreenDamage::ScreenDamage(xcb_connection_t *connection, std::uint32_t region,
                           std::uint8_t notifyEvent)
    : m_connection(connection), m_region(region), m_notifyEvent(notifyEvent)
{
}

ScreenDamage::~ScreenDamage()
{
    // The server drops the damage and the region with the connection.
    xcb_disconnect(m_connection);
}

std::unique_ptr<ScreenDamage> ScreenDamage::watch()
{
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection) || !extensionsPresent(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (!screens.data) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const std::uint8_t notify =
        xcb_get_extension_data(connection, &xcb_damage_id)->first_event + XCB_DAMAGE_NOTIFY;
    std::unique_ptr<ScreenDamage> watcher(
        new ScreenDamage(connection, xcb_generate_id(connection), notify));
    xcb_xfixes_create_region(connection, watcher->m_region, 0, nullptr);
    watcher->m_damage = xcb_generate_id(connection);
    const XcbPtr<xcb_generic_error_t> error(xcb_request_check(
        connection, xcb_damage_create_checked(connection, watcher->m_damage, screens.data->root,
                                              XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY)));
    if (error)
        return nullptr;
    watcher->m_inputOpcode = followMotion(connection, screens.data->root);
    return watcher;
}

// One read from the server at most, then what it brought: a further read would come back
// empty, and whatever arrives meanwhile turns the descriptor readable.
void ScreenDamage::readEvents(bool fromServer)
{
    for (XcbPtr<xcb_generic_event_t> event{fromServer ? xcb_poll_for_event(m_connection)
                                                      : xcb_poll_for_queued_event(m_connection)};
         event; event.reset(xcb_poll_for_queued_event(m_connection))) {
        const std::uint8_t type = event->response_type & kEventType;
        if (type == m_notifyEvent) {
            m_noticed = true;
        } else if (type == XCB_GE_GENERIC && m_inputOpcode != 0) {
            const auto *generic = reinterpret_cast<const xcb_ge_generic_event_t *>(event.get());
            if (generic->extension == m_inputOpcode && generic->event_type == XCB_INPUT_RAW_MOTION)
                m_moved = true;
        }
    }
}

bool ScreenDamage::pointerMoved()
{
    readEvents(false);
    if (m_inputOpcode == 0 || xcb_connection_has_error(m_connection))
        return true;
    return std::exchange(m_moved, false);
}

bool ScreenDamage::pending()
{
    readEvents(true);
    return m_noticed || (m_inputOpcode != 0 && m_moved) || xcb_connection_has_error(m_connection);
}

int ScreenDamage::descriptor() const
{
    // A lost connection stays readable: waiting on it would never sleep.
    return xcb_connection_has_error(m_connection) ? -1 : xcb_get_file_descriptor(m_connection);
}

std::optional<std::vector<PrimaryOutput::Rect>> ScreenDamage::fetch()
{
    readEvents(true);
    if (xcb_connection_has_error(m_connection))
        return std::nullopt;
    std::vector<PrimaryOutput::Rect> changed;
    if (!m_noticed)
        return changed;
    // Taking the damage empties it: the next drawing sends the next notice.
    m_noticed = false;
    xcb_damage_subtract(m_connection, m_damage, XCB_NONE, m_region);
    const XcbPtr<xcb_xfixes_fetch_region_reply_t> reply(xcb_xfixes_fetch_region_reply(
        m_connection, xcb_xfixes_fetch_region(m_connection, m_region), nullptr));
    if (!reply)
        return std::nullopt;
    const xcb_rectangle_t *rects = xcb_xfixes_fetch_region_rectangles(reply.get());
    for (int i = 0; i < xcb_xfixes_fetch_region_rectangles_length(reply.get()); ++i)
        changed.push_back({rects[i].x, rects[i].y, rects[i].width, rects[i].height});
    return changed;
}
