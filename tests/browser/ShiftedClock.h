#pragma once

#include "browser/BrowserClock.h"

// Qt's timers and the real time, moved on by the test: what was kept a while ago, without the
// wait.
class ShiftedClock : public BrowserClock
{
public:
    std::unique_ptr<BrowserTimer> timer() override { return BrowserClock::qt().timer(); }
    qint64 nowMs() const override { return BrowserClock::qt().nowMs() + shiftMs; }
    bool waitForInput(int fd, int ms) override { return BrowserClock::qt().waitForInput(fd, ms); }

    qint64 shiftMs = 0;
};
