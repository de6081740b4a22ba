#pragma once

#include "ftp/FtpError.h"

// The FtpError a call throws, or number 0 when it does not throw.
template <typename Call>
FtpError ErrorOf(Call call)
{
    try {
        call();
    } catch (const FtpError& e) {
        return e;
    }
    return FtpError{0, QString()};
}
