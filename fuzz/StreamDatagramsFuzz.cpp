// The Velmora stream as a student's viewer takes it: a run of datagrams, each a two-byte length
// and its bytes followed by a byte of the viewer's clock going on, into one canvas. Nothing a
// run declares may make the canvas hold more than its limit, draw outside itself, or take long.
#include "fuzz/FuzzInput.h"
#include "fuzz/SlowestInput.h"
#include "protocol/StreamCanvas.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    constexpr qsizetype kMaxPixels = 1280 * 800;
    StreamCanvas canvas(kMaxPixels);
    FuzzInput input(data, size);
    qint64 nowMs = 0;
    while (!input.atEnd()) {
        const QByteArray datagram = input.lengthPrefixed();
        nowMs += qint64(input.byte()) * 16;
        const StreamCanvas::Change change = canvas.apply(datagram, nowMs);
        const QRect screen(0, 0, canvas.width(), canvas.height());
        if (qsizetype(canvas.width()) * canvas.height() > kMaxPixels ||
            (!change.area.isEmpty() && !screen.contains(change.area)) ||
            (canvas.pointer() && !screen.contains(*canvas.pointer())))
            std::abort();
    }
    return 0;
}
