#include "net/ESocketError.h"

#include <cstring>

ESocketError ESocketError::fromCode(int code, const char *api)
{
    return ESocketError(QString::asprintf("Windows socket error: %s (%d), on API '%s'",
                                          std::strerror(code), code, api));
}
