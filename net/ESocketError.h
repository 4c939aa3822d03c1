#pragma once

#include "system/AppError.h"

// What a failed operation of the command server raises.
class ESocketError : public AppError
{
public:
    using AppError::AppError;

    // "Windows socket error: %s (%d), on API '%s'", with the system's text for the code.
    static ESocketError fromCode(int code, const char *api);
};

// The operation a connection's failure belongs to.
enum class TErrorEvent { eeGeneral, eeSend, eeReceive, eeConnect, eeDisconnect, eeAccept };
