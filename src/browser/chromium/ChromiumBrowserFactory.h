#pragma once

#include "browser/Browser.h"
#include "browser/BrowserClock.h"
#include "browser/chromium/BrowserProfile.h"

#include <QString>

#include <memory>
#include <optional>

class ChromiumProcess;
class RunningChromium;

// Starts the system's Chromium on the first create() and returns its window; every later
// create() returns a new hidden instance in the same browser.
class ChromiumBrowserFactory : public BrowserFactory
{
public:
    // A browser started ahead of its factory, still windowless. It holds no Qt object, so that it
    // may be started before the application object exists.
    struct Launched
    {
        Launched();
        ~Launched();
        Launched(Launched&&) noexcept;
        Launched& operator=(Launched&&) noexcept;

        std::unique_ptr<ChromiumProcess> process;
        std::optional<BrowserProfile> profile;
    };
    // Starts the browser with the usual executable and profile, so that its start-up overlaps the
    // program's own; empty when it cannot be started (create() then meets that and reports it).
    static Launched launchAhead();

    // Finds the browser on PATH and uses the program's lasting profile directory; the first
    // create() takes the browser in `launched`, when there is one, and only makes its window.
    explicit ChromiumBrowserFactory(Launched launched = {});
    // A given executable and profile directory (tests); empty for the usual ones. The browser's
    // parts take their time from `clock`.
    ChromiumBrowserFactory(QString executable, QString profileDirectory,
                           BrowserClock& clock = BrowserClock::qt());
    ~ChromiumBrowserFactory() override;
    ChromiumBrowserFactory(const ChromiumBrowserFactory&) = delete;
    ChromiumBrowserFactory& operator=(const ChromiumBrowserFactory&) = delete;

    std::unique_ptr<Browser> create() override;
    void expectFirstLink(const QString& link) override { m_firstLink = link; }
    void expectWindowPlacement(const QRectF& pixels) override { m_firstPlacement = pixels; }
    void dropBrowser() override;

    // The first of chromium, chromium-browser, google-chrome, google-chrome-stable on PATH.
    static QString findExecutable();
    // The running browser, once the first create() has started it.
    std::shared_ptr<RunningChromium> chromium() const { return m_chromium; }

private:
    std::unique_ptr<Browser> createWindow();
    static QString usableExecutable(const QString& executable);

    QString m_executable;
    QString m_profileDirectory;
    BrowserClock& m_clock = BrowserClock::qt();
    std::shared_ptr<RunningChromium> m_chromium;
    Launched m_launched; // until the first create() takes it
    QString m_firstLink;
    std::optional<QRectF> m_firstPlacement;
};
