#include "classroom/ScreenPictureSource.h"

#include "capture/SessionType.h"
#include "system/AppError.h"

#include <algorithm>

namespace {
// Asked every 10 ms: an answer a few ticks old still counts.
constexpr std::chrono::milliseconds kPointerMaxAge{50};
// Drawing the server does not tell of (direct rendering without a compositor) is still found
// by a whole comparison this often; where such looks keep finding nothing untold, the wait
// grows, and the first untold drawing brings it back.
constexpr std::chrono::milliseconds kFullLook{1000};
// The wait doubles with each such look: 1, 2, then 4 seconds.
constexpr int kMostQuietLooks = 2;
// A pointer that made no motion is still asked after this often: a program may have warped it,
// and the answer to the question put while it moved may predate its last move.
constexpr std::chrono::milliseconds kStillPointer{100};

// The rows of the output the places touch, as [top, bottom) ranges that do not overlap.
std::vector<std::pair<int, int>> rowsOf(const std::vector<QRect> &places,
                                        const PrimaryOutput::Rect &area)
{
    std::vector<std::pair<int, int>> rows;
    rows.reserve(places.size());
    for (const QRect &place : places)
        rows.emplace_back(place.top() - area.y, place.bottom() + 1 - area.y);
    std::sort(rows.begin(), rows.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto &range : rows) {
        if (!merged.empty() && range.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    return merged;
}
} // namespace

PictureSource::Picture ScreenPictureSource::grab()
{
    ScreenCapture &screen = capture();
    // Asked before the capture, so that all that was told is in the pixels taken after it.
    std::optional<std::vector<QRect>> changed = drawn();
    if (changed && changed->empty() && m_last.bgrx) {
        m_last.changed = std::move(changed);
        return m_last;
    }
    // A pointer at rest due to be asked after is asked with the capture: one wait serves both.
    const auto now = std::chrono::steady_clock::now();
    const bool askPointer = m_pointer && now >= m_pointerAskAt;
    if (askPointer)
        screen.askPointer();
    // Only the rows drawn on are taken again: the server copies a strip, not the whole screen.
    const ScreenCapture::Frame &frame =
        changed && m_last.bgrx ? screen.capture(rowsOf(*changed, screen.area())) : screen.capture();
    if (askPointer) {
        if (const std::optional<QPoint> answer = screen.pointerAnswer()) {
            m_pointer = answer;
            m_pointerAskAt = now + kStillPointer;
        }
    }
    const bool everywhere = !changed;
    for (QRect &place : everywhere ? m_told : *changed)
        place.translate(-screen.area().x, -screen.area().y);
    m_last = {frame.width, frame.height, frame.stride, frame.pixels, std::move(changed), {}};
    if (everywhere)
        m_last.told = std::move(m_told);
    return m_last;
}

std::optional<QPoint> ScreenPictureSource::pointer()
{
    const auto now = std::chrono::steady_clock::now();
    ScreenDamage *watcher = damage();
    const bool moved = !watcher || watcher->pointerMoved();
    if (moved || !m_pointer || now >= m_pointerAskAt) {
        m_pointer = capture().pointer(kPointerMaxAge);
        m_pointerAskAt = now + kStillPointer;
    }
    return m_pointer;
}

int ScreenPictureSource::changeDescriptor()
{
    ScreenDamage *watcher = damage();
    return watcher ? watcher->descriptor() : -1;
}

// A lost connection counts as a change: the next picture finds it and looks at everything.
bool ScreenPictureSource::mayHaveChanged()
{
    ScreenDamage *watcher = damage();
    if (!watcher)
        return true;
    // Asked first, always: what waits on the descriptor is taken, so a wait on it sleeps.
    const bool told = watcher->pending();
    return told || !m_last.bgrx || std::chrono::steady_clock::now() >= m_fullLookAt;
}

void ScreenPictureSource::lookedEverywhere(bool untold)
{
    m_quietLooks = untold ? 0 : std::min(m_quietLooks + 1, kMostQuietLooks);
    m_fullLookAt = m_lookedAt + fullLookEvery();
}

std::chrono::milliseconds ScreenPictureSource::fullLookEvery() const
{
    return kFullLook * (1 << m_quietLooks);
}

ScreenCapture &ScreenPictureSource::capture()
{
    if (!m_capture) {
        const QString refusal = SessionType::captureRefusal();
        if (!refusal.isEmpty())
            throw AppError(refusal);
        m_capture.emplace();
    }
    return *m_capture;
}

ScreenDamage *ScreenPictureSource::damage()
{
    if (!m_damageTried) {
        m_damageTried = true;
        m_damage = ScreenDamage::watch();
    }
    return m_damage.get();
}

// Where the screen was drawn on since the last picture; none when it is not known, and then
// the whole picture is compared.
std::optional<std::vector<QRect>> ScreenPictureSource::drawn()
{
    damage();
    const auto now = std::chrono::steady_clock::now();
    const bool fullLook = now >= m_fullLookAt;
    if (fullLook) {
        m_lookedAt = now;
        m_fullLookAt = now + fullLookEvery();
    }
    if (!m_damage)
        return std::nullopt;
    // Asked even on a full look, so that what it covers is not told again.
    const std::optional<std::vector<PrimaryOutput::Rect>> rects = m_damage->fetch();
    if (!rects) {
        m_damage.reset();
        return std::nullopt;
    }
    std::vector<QRect> places;
    places.reserve(rects->size());
    for (const PrimaryOutput::Rect &rect : *rects)
        places.emplace_back(rect.x, rect.y, rect.width, rect.height);
    if (fullLook || !m_last.bgrx) {
        m_told = std::move(places);
        return std::nullopt;
    }
    return places;
}
