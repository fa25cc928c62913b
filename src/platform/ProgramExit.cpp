#include "platform/ProgramExit.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
ProgramExit::Handler& handler()
{
    static ProgramExit::Handler installed;
    return installed;
}
} // namespace

void ProgramExit::now(int code)
{
    if (handler())
        handler()(code);
    std::fflush(nullptr);
    ::_exit(code);
}

void ProgramExit::setHandler(Handler newHandler)
{
    handler() = std::move(newHandler);
}
