#pragma once

#include "browser/Browser.h"

#include "browser/BrowserProfile.h"

#include <QString>

#include <memory>
#include <optional>

class ChromiumConnection;
class ChromiumProcess;

// Starts the system's Chromium on the first create() and returns its window; every later
// create() returns a new hidden instance in the same browser.
class ChromiumBrowserFactory : public BrowserFactory
{
public:
    // Finds the browser on PATH and uses the program's lasting profile directory.
    ChromiumBrowserFactory();
    // A given executable and profile directory (tests); empty for the usual ones.
    ChromiumBrowserFactory(QString executable, QString profileDirectory);
    ~ChromiumBrowserFactory() override;
    ChromiumBrowserFactory(const ChromiumBrowserFactory&) = delete;
    ChromiumBrowserFactory& operator=(const ChromiumBrowserFactory&) = delete;

    std::unique_ptr<Browser> create() override;
    // Starts the browser's process now, still without a window, so that its start-up overlaps
    // the program's own; the first create() then only has to make the window. Makes no Qt
    // object (it may run before the application object exists). Whatever fails here is left
    // for create() to meet and report.
    void launchAhead();

    // The first of chromium, chromium-browser, google-chrome, google-chrome-stable on PATH.
    static QString findExecutable();
    // The running browser, once the first create() has started it.
    std::shared_ptr<ChromiumConnection> connection() const { return m_connection; }

private:
    std::unique_ptr<Browser> createWindow();
    std::unique_ptr<Browser> createHidden();
    QString usableExecutable() const;

    QString m_executable;
    QString m_profileDirectory;
    std::shared_ptr<ChromiumConnection> m_connection;
    // Started by launchAhead(), until create() takes it.
    std::unique_ptr<ChromiumProcess> m_launched;
    std::optional<BrowserProfile> m_launchedProfile;
};
