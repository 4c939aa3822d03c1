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
// round trip only when the server said something changed. On the same connection it follows
// the pointer's raw motion, so that a pointer at rest need not be asked after.
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
    // Whether the pointer moved since the last call, as far as the last pending() or fetch()
    // read from the server (the caller looks first: one read serves both); always true where
    // the server cannot tell (no input extension of version 2). A pointer a program warps
    // makes no motion.
    bool pointerMoved();
    // Whether drawing or motion was told and not yet asked after; reads what is waiting.
    bool pending();
    // The connection's descriptor, readable when the server tells something; -1 once lost.
    int descriptor() const;

private:
    ScreenDamage(xcb_connection_t *connection, std::uint32_t region, std::uint8_t notifyEvent);
    void readEvents(bool fromServer);

    xcb_connection_t *m_connection;
    std::uint32_t m_damage = 0;
    std::uint32_t m_region;
    std::uint8_t m_notifyEvent;
    // Drawing may come before the first notice is read: the first fetch always asks.
    bool m_noticed = true;
    // The input extension's opcode, 0 where motion is not followed.
    std::uint8_t m_inputOpcode = 0;
    bool m_moved = true;
};
