// The agent side's rebuilding of demonstration frames from datagrams, each a two-byte length
// and its bytes: every completed frame is exactly the chunks since the last one ended.
#include "fuzz/FuzzInput.h"
#include "fuzz/SlowestInput.h"
#include "protocol/Chunks.h"
#include "protocol/FrameAssembler.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    FuzzInput input(data, size);
    FrameAssembler assembler;
    int frames = 0;
    while (!input.atEnd()) {
        const QByteArray datagram = input.lengthPrefixed();
        const qsizetype before = assembler.pendingSize();
        const auto frame = assembler.add(datagram);
        if (frame) {
            ++frames;
            if (datagram.size() <= chunks::kSize && frame->size() != before + datagram.size())
                std::abort();
        }
        if (assembler.pendingSize() > 16 * 1024 * 1024 || assembler.completed() < frames)
            std::abort();
    }
    return 0;
}
