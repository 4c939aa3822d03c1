// The agent side's reading of the command stream, cut into reads where the input says: every
// byte fed comes back in exactly one command, in order.
#include "fuzz/FuzzInput.h"
#include "fuzz/SlowestInput.h"
#include "student/CommandParser.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    FuzzInput input(data, size);
    CommandParser parser;
    QByteArray fed;
    QByteArray understood;
    while (!input.atEnd()) {
        const QByteArray read = input.lengthPrefixed();
        fed += read;
        for (const StudentCommand &command : parser.feed(read))
            understood += command.raw;
        if (understood + parser.pending() != fed)
            std::abort();
    }
    for (const StudentCommand &command : parser.flush())
        understood += command.raw;
    if (understood != fed || !parser.pending().isEmpty())
        std::abort();
    return 0;
}
