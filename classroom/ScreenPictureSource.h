#pragma once

#include "capture/ScreenCapture.h"
#include "capture/ScreenDamage.h"
#include "classroom/PictureSource.h"

#include <chrono>
#include <memory>

// The real X screen for the Velmora stream: a capture of its own, on its own connection, so the
// stream's thread never shares one with the window's. Where the server tells what was drawn,
// an unchanged screen is not captured at all, only the rows drawn on are captured again, and
// only the places drawn on are compared; and a pointer at rest is seldom asked after.
class ScreenPictureSource : public PictureSource
{
public:
    Picture grab() override;
    std::optional<QPoint> pointer() override;
    int changeDescriptor() override;
    bool mayHaveChanged() override;
    void lookedEverywhere(bool untold) override;

private:
    ScreenCapture &capture();
    std::optional<std::vector<QRect>> drawn();
    ScreenDamage *damage();
    std::chrono::milliseconds fullLookEvery() const;

    std::optional<ScreenCapture> m_capture;
    std::unique_ptr<ScreenDamage> m_damage;
    bool m_damageTried = false;
    std::chrono::steady_clock::time_point m_fullLookAt;
    std::chrono::steady_clock::time_point m_lookedAt;
    // Looks at everything in a row that found nothing untold.
    int m_quietLooks = 0;
    // What the server told of at the last look at everything.
    std::vector<QRect> m_told;
    std::chrono::steady_clock::time_point m_pointerAskAt;
    std::optional<QPoint> m_pointer;
    Picture m_last;
};
