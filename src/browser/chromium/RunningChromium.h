#pragma once

#include "browser/BrowserClock.h"
#include "browser/ahead/RunningBrowser.h"
#include "browser/chromium/BrowserProfile.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <sys/types.h>

class ChromiumProcess;
class PageLoads;

// One running Chromium: its process, its profile, the connection to it and the load ahead that
// its instances share. The window and the hidden instances hold it; the browser goes with the
// last of them.
class RunningChromium : public RunningBrowser
{
public:
    // Time for the browser to start and answer its first command.
    static constexpr int StartTimeoutMs = 10000;

    // Starts the browser, still without a window, and returns at once: its start-up runs while
    // the caller goes on. Failure 429 when it cannot be started at all.
    static std::shared_ptr<RunningChromium> launch(const QString& executable,
                                                   const BrowserProfile& profile,
                                                   BrowserClock& clock = BrowserClock::qt());
    // launch() in two halves. The first makes no Qt object, so that it may run before the
    // application object exists; the second takes the pipe of the process that it started.
    static std::unique_ptr<ChromiumProcess> startProcess(const QString& executable,
                                                         const BrowserProfile& profile);
    static std::shared_ptr<RunningChromium> connect(std::unique_ptr<ChromiumProcess> process,
                                                    const BrowserProfile& profile,
                                                    BrowserClock& clock = BrowserClock::qt());
    // Whatever answers at the other end of the two descriptors (a test's scripted browser), which
    // it owns from now on; there is no process to end. Its parts take their timers from `clock`.
    static std::shared_ptr<RunningChromium> overPipe(int commandFd, int eventFd,
                                                     const BrowserProfile& profile,
                                                     BrowserClock& clock = BrowserClock::qt());
    // The arguments that the browser is started with, for a profile in `profileDir`.
    static QStringList browserArguments(const QString& profileDir);

    ~RunningChromium() override;
    RunningChromium(const RunningChromium&) = delete;
    RunningChromium& operator=(const RunningChromium&) = delete;

    // Creates the browser's one window, already on its way to `address` (a shownAddress()), and
    // returns its tab's target id; Failure 429 when the browser does not come up. `edges`
    // (WindowPlacement::edgesOf()), when given, are where the window is made.
    QString openWindow(const QString& address = QStringLiteral("about:blank"),
                       const QJsonObject& edges = {});
    DevToolsConnection& connection() override { return *m_connection; }
    PageLoads& loads() override { return *m_loads; }
    LoadAhead& ahead() override { return *m_ahead; }
    void quit() override;
    // Ends its processes at once, for a browser that has ended or hangs.
    void kill();
    pid_t processGroup() const override;
    QString whyGone() override;
    const BrowserProfile& profile() const { return m_profile; }

private:
    RunningChromium(std::unique_ptr<ChromiumProcess> process, BrowserProfile profile, int commandFd,
                    int eventFd, BrowserClock& clock);
    void removeTemporaryProfile();

    std::unique_ptr<ChromiumProcess> m_process;
    BrowserProfile m_profile;
    std::unique_ptr<DevToolsConnection> m_connection;
    std::unique_ptr<PageLoads> m_loads; // before every part that follows the pages
    std::unique_ptr<LoadAhead> m_ahead;
};
