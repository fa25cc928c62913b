#pragma once

#include <QObject>

#include <memory>

struct BrowserFixture;

// The test classes of the browser pair on the real Chromium, each in its own file and run from
// browser_main.cpp on one pair.
std::unique_ptr<QObject> makeWindowPlacementTests(BrowserFixture& fixture);
std::unique_ptr<QObject> makeAddressTests(BrowserFixture& fixture);
std::unique_ptr<QObject> makeHiddenInstanceTests(BrowserFixture& fixture);
std::unique_ptr<QObject> makeKeptDocumentTests(BrowserFixture& fixture);
std::unique_ptr<QObject> makeStepKeyTests(BrowserFixture& fixture);
std::unique_ptr<QObject> makeHistoryStepTests(BrowserFixture& fixture);
std::unique_ptr<QObject> makeLifetimeTests(BrowserFixture& fixture);
