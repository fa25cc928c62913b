#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

// A one-shot timer of the browser's state machines (the step's question and its answer limit,
// the end of a renderer, the prerender's fallback and watch, the first page's hold).
class BrowserTimer
{
public:
    virtual ~BrowserTimer() = default;
    // `fired` runs once, `ms` from now, unless the timer is stopped or started again first.
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
    // Milliseconds until it fires, 0 when it is due, -1 when it is not running.
    virtual int remainingMs() const = 0;

    std::function<void()> fired;
};

// The time of one browser's parts: the timers of their state machines, and the time that a
// caller waits for the browser's answer. Qt's timers and the real time in the program; in a test,
// a clock that the test moves by hand. Given to the connection when it is made; every part of the
// browser takes its time from there.
class BrowserClock
{
public:
    virtual ~BrowserClock() = default;
    virtual std::unique_ptr<BrowserTimer> timer() = 0;
    // Milliseconds of a monotonic clock.
    virtual qint64 nowMs() const = 0;
    // Waits up to `ms` (-1: without limit) for input on `fd`; false when the time ran out first.
    virtual bool waitForInput(int fd, int ms) = 0;

    // Qt's timers, run by the event loop.
    static BrowserClock& qt();
};
