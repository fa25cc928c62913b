#pragma once

#include "platform/Failure.h"

#include <QtGlobal>

// The list's counters are 16-bit signed; arithmetic that leaves that range is failure 6.
inline qint16 add16(qint16 value, int delta)
{
    const int result = int(value) + delta;
    if (result < -32768 || result > 32767)
        throw Failure(FailureNumber::Overflow);
    return qint16(result);
}
