// The agent side's reading of the command stream, cut into reads where the input says (an
// empty read stands for the stream falling quiet): every byte fed comes back in exactly one
// command or is counted as discarded behind a cut text, and no text passes the bound.
#include "fuzz/FuzzInput.h"
#include "fuzz/SlowestInput.h"
#include "protocol/CommandParser.h"
#include "protocol/TextFraming.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    FuzzInput input(data, size);
    CommandParser parser;
    qint64 fed = 0;
    qint64 understood = 0;
    const auto take = [&](const QList<StudentCommand> &commands) {
        for (const StudentCommand &command : commands) {
            understood += command.raw.size();
            if (command.argument.size() > framing::kTextBound)
                std::abort();
        }
    };
    while (!input.atEnd()) {
        const QByteArray read = input.lengthPrefixed();
        fed += read.size();
        take(read.isEmpty() ? parser.quiet() : parser.feed(read));
        if (understood + parser.discarded() + parser.pending().size() > fed)
            std::abort();
    }
    take(parser.flush());
    if (understood + parser.discarded() != fed || !parser.pending().isEmpty())
        std::abort();
    return 0;
}
