#include "capture/PrimaryOutput.h"

#include "capture/XcbReply.h"

#include <algorithm>
#include <optional>
#include <xcb/randr.h>

namespace {

// Outputs come and go with monitors; 1.2 brought outputs and CRTCs, 1.5 monitors.
constexpr std::uint32_t wantedMajor = 1;
constexpr std::uint32_t wantedMinor = 5;

using Rect = PrimaryOutput::Rect;

std::optional<Rect> crtcRect(xcb_connection_t *c, xcb_randr_crtc_t crtc, xcb_timestamp_t stamp)
{
    if (crtc == XCB_NONE)
        return std::nullopt;
    XcbPtr<xcb_randr_get_crtc_info_reply_t> info(
        xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, crtc, stamp), nullptr));
    if (!info || info->mode == XCB_NONE || info->width == 0 || info->height == 0)
        return std::nullopt;
    return Rect{info->x, info->y, info->width, info->height};
}

// RandR 1.5: user-defined monitors (xrandr --setmonitor) and one per active output.
std::optional<Rect> monitorRect(xcb_connection_t *c, std::uint32_t root, bool primaryOnly)
{
    XcbPtr<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr));
    if (!reply)
        return std::nullopt;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t *m = it.data;
        if ((m->primary || !primaryOnly) && m->width > 0 && m->height > 0)
            return Rect{m->x, m->y, m->width, m->height};
    }
    return std::nullopt;
}

std::optional<Rect> outputRect(xcb_connection_t *c, std::uint32_t root)
{
    XcbPtr<xcb_randr_get_output_primary_reply_t> primary(
        xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root), nullptr));
    XcbPtr<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(
            c, xcb_randr_get_screen_resources_current(c, root), nullptr));
    if (!resources)
        return std::nullopt;
    const xcb_timestamp_t stamp = resources->config_timestamp;
    const xcb_randr_output_t *outputs =
        xcb_randr_get_screen_resources_current_outputs(resources.get());
    const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
    std::optional<Rect> first;
    for (int i = 0; i < count; ++i) {
        XcbPtr<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
            c, xcb_randr_get_output_info(c, outputs[i], stamp), nullptr));
        if (!info || info->connection != XCB_RANDR_CONNECTION_CONNECTED)
            continue;
        const std::optional<Rect> rect = crtcRect(c, info->crtc, stamp);
        if (rect && primary && outputs[i] == primary->output)
            return rect;
        if (rect && !first)
            first = rect;
    }
    return first;
}

// Whether RandR's monitors (1.5) are there; none without outputs and CRTCs (1.2) at least.
std::optional<bool> randrMonitors(xcb_connection_t *c)
{
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &xcb_randr_id);
    if (!ext || !ext->present)
        return std::nullopt;
    XcbPtr<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
        c, xcb_randr_query_version(c, wantedMajor, wantedMinor), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 2))
        return std::nullopt;
    return version->major_version > 1 || version->minor_version >= 5;
}

Rect clipped(const Rect &r, const Rect &root)
{
    const int left = std::max(r.x, root.x);
    const int top = std::max(r.y, root.y);
    const int right = std::min(r.x + r.width, root.x + root.width);
    const int bottom = std::min(r.y + r.height, root.y + root.height);
    if (right <= left || bottom <= top)
        return root;
    return {left, top, right - left, bottom - top};
}

} // namespace

void PrimaryOutput::watchChanges(xcb_connection_t *c, std::uint32_t root)
{
    const std::uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &structure);
    if (!randrMonitors(c))
        return;
    xcb_randr_select_input(c, root,
                           XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
}

Rect PrimaryOutput::find(xcb_connection_t *c, std::uint32_t root, const Rect &rootRect)
{
    const std::optional<bool> hasMonitors = randrMonitors(c);
    if (!hasMonitors)
        return rootRect;
    const bool monitors = *hasMonitors;
    std::optional<Rect> rect;
    if (monitors)
        rect = monitorRect(c, root, true);
    if (!rect)
        rect = outputRect(c, root);
    if (!rect && monitors)
        rect = monitorRect(c, root, false);
    return rect ? clipped(*rect, rootRect) : rootRect;
}
