#pragma once

#include <functional>

// Ends the process at once: no event loop, no further handler, no return to the caller.
// Tests install a handler that throws instead, so that they can see the end and go on.
class ProgramExit
{
public:
    [[noreturn]] static void now(int code = 0);

    using Handler = std::function<void(int code)>;
    // The handler must not return (throw, or end the process).
    static void setHandler(Handler handler);
};

// What a test's exit handler throws; the handler wrapper lets it unwind to the event loop.
struct ProgramEnded
{
    int code;
};
