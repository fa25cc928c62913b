#pragma once

#include "LoadEventWait.h"
#include "browser/ahead/AheadBrowser.h"
#include "browser/window/WindowBrowser.h"
#include "platform/Failure.h"

#include <QElapsedTimer>
#include <QList>

#include <algorithm>

// What the browser benchmarks measure, measured one way.
namespace LoadTiming {

constexpr int LoadTimeoutMs = 20000;

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Milliseconds from Navigate to the load event on the visible window.
inline double timeVisibleLoad(WindowBrowser& window, const QString& url)
{
    QElapsedTimer clock;
    clock.start();
    if (!loadFully(window, url, LoadTimeoutMs))
        throw Failure(FailureNumber::ObjectDisconnected, QStringLiteral("no load event"));
    return double(clock.nsecsElapsed()) / 1e6;
}

// The next link loaded by the hidden instance, to its load event.
inline void loadAhead(AheadBrowser& hidden, const QString& url)
{
    if (!loadFully(hidden, url, LoadTimeoutMs))
        throw Failure(FailureNumber::ObjectDisconnected, QStringLiteral("no prefetch"));
}

} // namespace LoadTiming
