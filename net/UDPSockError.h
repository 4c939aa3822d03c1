#pragma once

#include "system/AppError.h"

// What the datagram endpoint raises for socket and host-lookup failures.
class UDPSockError : public AppError
{
public:
    using AppError::AppError;
};
