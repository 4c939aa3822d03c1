#pragma once

#include "capture/PrimaryOutput.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;

// What changed on the screen since it was last asked, as the X server tells through its damage
// extension: the root's damage, children's drawing included, in root coordinates. It keeps a
// connection of its own, so that no other reader of events takes its notices; asking costs a
// round trip only when the server said something changed.
class ScreenDamage
{
public:
    // Follows the root's damage of $DISPLAY; null where the server lacks the damage or fixes
    // extension, or cannot be reached.
    static std::unique_ptr<ScreenDamage> watch();
    ~ScreenDamage();
    ScreenDamage(const ScreenDamage &) = delete;
    ScreenDamage &operator=(const ScreenDamage &) = delete;

    // The rectangles changed since the last call, empty when nothing did; none when it cannot
    // be told (the connection was lost), and the caller must look at everything.
    std::optional<std::vector<PrimaryOutput::Rect>> fetch();

private:
    ScreenDamage(xcb_connection_t *connection, std::uint32_t region, std::uint8_t notifyEvent);

    xcb_connection_t *m_connection;
    std::uint32_t m_damage = 0;
    std::uint32_t m_region;
    std::uint8_t m_notifyEvent;
    // Drawing may come before the first notice is read: the first fetch always asks.
    bool m_noticed = true;
};
