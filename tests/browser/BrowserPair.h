#pragma once

#include "browser/ahead/AheadBrowser.h"
#include "browser/chromium/ChromiumBrowserFactory.h"
#include "browser/window/WindowBrowser.h"

#include <QJsonArray>
#include <QString>

#include <memory>

class DevToolsConnection;

// Why a test of the real browser cannot run here (no X display, no Chromium), or empty. When it
// can, the test's HOME and XDG_CONFIG_HOME become `home`, so that the browser touches nothing of
// the user's.
QString browserTestUnavailable(const QString& home);

// The browser pair as the program makes it: the window shown with its load events watched, the
// hidden instance out of sight. The browser is asked to quit when the pair goes.
struct BrowserPair
{
    explicit BrowserPair(std::unique_ptr<ChromiumBrowserFactory> made);
    ~BrowserPair();
    BrowserPair(const BrowserPair&) = delete;
    BrowserPair& operator=(const BrowserPair&) = delete;

    WindowBrowser& window() { return static_cast<WindowBrowser&>(*main); }
    AheadBrowser& hiddenBrowser() { return static_cast<AheadBrowser&>(*hidden); }

    std::unique_ptr<ChromiumBrowserFactory> factory;
    std::unique_ptr<Browser> main;
    std::unique_ptr<Browser> hidden;
};

// The browser's targets, as `Target.getTargets` lists them.
QJsonArray targetsOf(DevToolsConnection& connection);
int pageTargetCount(DevToolsConnection& connection);
// The X windows of the browser on show, as xdotool finds them.
QList<QByteArray> visibleBrowserWindows();
