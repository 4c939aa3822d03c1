// The monitored-screen path: a run of datagrams, each a two-byte length and its bytes, through
// reassembly and decoding. A declared length over 2048 is what the endpoint reports as a
// failed read (-1); the top bit of a selector byte makes the datagram come from the console.
#include "classroom/CommandChannel.h"
#include "classroom/Monitoring.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/SlowestInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    static const QString console = QStringLiteral("10.77.0.1");
    CommandChannel channel(nullptr, nullptr);
    Monitoring monitoring(channel, [] { return console; });
    FuzzInput input(data, size);
    while (!input.atEnd()) {
        const bool fromConsole = input.byte() & 0x80;
        std::size_t declared = 0;
        const QByteArray datagram = input.lengthPrefixed(&declared);
        const int count = declared > 2048 ? -1 : int(datagram.size());
        monitoring.datagramReceived(count, fromConsole ? console : QStringLiteral("10.77.0.2"),
                                    count < 0 ? nullptr : datagram.constData());
        if (monitoring.streamSize() > Monitoring::kStreamLimit)
            std::abort();
    }
    const JpegDecoder::Image &picture = monitoring.picture();
    if (picture.rgb.size() != std::size_t(picture.width) * std::size_t(picture.height) * 3)
        std::abort();
    return 0;
}
