// The screen wall's datagram path: a run of datagrams, each a selector byte, a two-byte length
// and its bytes, through per-sender reassembly and the once-a-tick decoding of the tiles. The
// selector's top two bits say who sent it (one of two students, the console itself, another
// host of the LAN), its lowest bit that a tick follows; a declared length over 2048 is what the
// endpoint reports as a failed read (-1).
#include "classroom/CommandChannel.h"
#include "classroom/DatagramTileFeed.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenRequests.h"
#include "classroom/ScreenWall.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/SlowestInput.h"
#include "net/TServerWinSocket.h"
#include "protocol/Chunks.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    static const QString senders[] = {QStringLiteral("10.77.0.2"), QStringLiteral("10.77.0.4"),
                                      QStringLiteral("10.77.0.1"), QStringLiteral("10.77.0.3")};
    RosterModel roster;
    roster.appendRow(1, "alpha", {senders[0].toLatin1(), "40000", "09:05:07", "no"});
    roster.appendRow(2, "bravo", {senders[1].toLatin1(), "40001", "09:05:08", "no"});
    TServerWinSocket server;
    CommandChannel channel(&server, &roster);
    ScreenRequests requests(channel);
    DatagramTileFeed feed(requests, [](const QString &from) { return from == senders[2]; });
    int decodes = 0;
    ScreenWall wall(roster, [&decodes](const std::function<void()> &decode) {
        ++decodes;
        decode();
    });
    wall.addFeed(&feed);
    wall.setTileSize(160, 90);
    QObject::connect(
        &wall, &ScreenWall::pictureChanged, [](quint64 key, const JpegDecoder::Image &picture) {
            if ((key != 1 && key != 2) ||
                picture.rgb.size() != std::size_t(picture.width) * std::size_t(picture.height) * 3)
                std::abort();
        });
    wall.show();
    FuzzInput input(data, size);
    while (!input.atEnd()) {
        const int selector = input.byte();
        std::size_t declared = 0;
        const QByteArray datagram = input.lengthPrefixed(&declared);
        const int count = declared > 2048 ? -1 : int(datagram.size());
        feed.datagramReceived(count, senders[selector >> 6],
                              count < 0 ? nullptr : datagram.constData());
        if (feed.pendingBytes() > 2 * chunks::kMaxFrame ||
            wall.pictures().waitingBytes() > 2 * chunks::kMaxFrame)
            std::abort();
        if (selector & 1) {
            decodes = 0;
            wall.pictures().decodeWaiting();
            if (decodes > 2)
                std::abort();
        }
    }
    return 0;
}
