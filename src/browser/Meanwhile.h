#pragma once

#include "platform/Failure.h"

// What runs later, from the event loop, has no caller to report to: a browser that is gone is
// reported by the program's next operation on it.
template <typename Step> void meanwhile(const Step& step)
{
    try {
        step();
    } catch (const Failure&) {
    }
}
