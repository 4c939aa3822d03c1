#pragma once

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

// The codecs' error handling: the library's own ends the process, this one jumps back to the
// caller's setjmp with the message kept. Warnings (a truncated or spliced frame) are counted in
// num_warnings, as the library's own handler does, and never printed.
struct JpegErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];

    // Prepares the manager and returns what the codec's err field takes.
    jpeg_error_mgr *install();
};
