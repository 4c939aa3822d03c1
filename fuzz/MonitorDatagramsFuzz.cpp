// The monitored-screen path: a run of datagrams, each a selector byte, a two-byte length and its
// bytes, through reassembly and decoding. A declared length over 2048 is what the endpoint
// reports as a failed read (-1); the selector's top two bits say who sent it: the monitored
// student, the console itself, or another host of the LAN.
#include "classroom/CommandChannel.h"
#include "classroom/Monitoring.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenRequests.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/SlowestInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    static const QString console = QStringLiteral("10.77.0.1");
    static const QString student = QStringLiteral("10.77.0.2");
    static const QString stranger = QStringLiteral("10.77.0.3");
    RosterModel roster;
    constexpr quint64 kStudent = 1;
    roster.appendRow(kStudent, "pupil", {student.toLatin1(), "40000", "09:05:07", "no"});
    CommandChannel channel(nullptr, &roster);
    ScreenRequests requests(channel);
    Monitoring monitoring(
        requests, [](const QString &from) { return from == console; },
        [](const std::function<void()> &decode) { decode(); });
    monitoring.monitorStudent(kStudent);
    FuzzInput input(data, size);
    while (!input.atEnd()) {
        const int sender = input.byte() >> 6;
        std::size_t declared = 0;
        const QByteArray datagram = input.lengthPrefixed(&declared);
        const int count = declared > 2048 ? -1 : int(datagram.size());
        const QString &from = sender == 2 ? console : sender == 3 ? stranger : student;
        monitoring.datagramReceived(count, from, count < 0 ? nullptr : datagram.constData());
        if (monitoring.streamSize() > Monitoring::kStreamLimit)
            std::abort();
    }
    const JpegDecoder::Image &picture = monitoring.picture();
    if (picture.rgb.size() != std::size_t(picture.width) * std::size_t(picture.height) * 3)
        std::abort();
    return 0;
}
