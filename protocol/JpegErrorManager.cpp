#include "protocol/JpegErrorManager.h"

namespace {
[[noreturn]] void jumpBack(j_common_ptr cinfo)
{
    auto *errors = reinterpret_cast<JpegErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void countWarning(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++cinfo->err->num_warnings;
}
} // namespace

jpeg_error_mgr *JpegErrorManager::install()
{
    message[0] = '\0';
    jpeg_std_error(&pub);
    pub.error_exit = jumpBack;
    pub.emit_message = countWarning;
    return &pub;
}
