#include "browser/chromium/RunningChromium.h"

#include "browser/Str.h"
#include "browser/ahead/LoadAhead.h"
#include "browser/chromium/ChromiumProcess.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"
#include "log/StepTrace.h"
#include "platform/Failure.h"

#include <QDir>

#include <unistd.h>

namespace {
// A temporary profile is removed by a shell that waits for the browser, so that it goes also
// when the program itself is killed and never gets to clean up.
const char* const removeProfileAfterwards = "profile=$1; shift; \"$@\"; rm -rf -- \"$profile\"";
} // namespace

QStringList RunningChromium::browserArguments(const QString& profileDir)
{
    QStringList arguments{
        str("--remote-debugging-pipe"),
        str("--user-data-dir=") + profileDir,
        str("--no-first-run"),
        str("--no-default-browser-check"),
        str("--disable-background-networking"),
        str("--disable-component-update"),
        str("--disable-sync"),
        // A browser that ended with the program is not a crash to offer a restore for.
        str("--hide-crash-restore-bubble"),
        // No desktop keyring prompt for a profile that keeps no passwords of ours.
        str("--password-store=basic"),
        // Windows are placed by position, which only X11 (or XWayland) allows.
        str("--ozone-platform=x11"),
        // No window, no restored tab: the one window is created over the pipe, so that the
        // program's window is always the one it made (see openWindow()).
        str("--no-startup-window"),
        // One list: a second --disable-features would override the first.
        // - Prerender2FallbackPrefetchSpecRules: the browser's prerender of the window's next
        //   link asks for its document as any navigation does, where the copy loaded ahead
        //   answers it (see KeptDocumentServer), instead of fetching it ahead once more past
        //   the program.
        // - LimitCrossOriginNonActivatedPaintHolding: the browser keeps the page on show until
        //   the next has painted (for at most half a second) only within one origin, or when
        //   the user touched the page; every step is the user's, from the toolbar, so a page of
        //   another origin would come after a blank frame. The price: a site that sends the
        //   window on to another origin by itself keeps its picture up meanwhile too, as it
        //   may anyway once the user has clicked in it.
        // - WebUIOmniboxPopup, WebUIOmniboxAimPopup: the address bar's suggestions drawn by a
        //   web page of the browser's own, which it loads in a renderer of its own at start-up
        //   (on these machines an eighth of the time to the first link's load) whether or not
        //   anyone types there. The browser's built-in list shows them instead.
        str("--disable-features=Prerender2FallbackPrefetchSpecRules,"
            "LimitCrossOriginNonActivatedPaintHolding,WebUIOmniboxPopup,WebUIOmniboxAimPopup"),
        // One renderer for each site: a step onto the next link's site then comes in the renderer
        // that loaded it ahead, warm, instead of in a fresh one that has yet to build its first
        // picture (on these machines a third of a step onto another site). Sites stay apart.
        str("--process-per-site"),
    };
    // The browser's sandbox refuses to run as root; never given up otherwise.
    if (geteuid() == 0)
        arguments << str("--no-sandbox");
    return arguments;
}

std::shared_ptr<RunningChromium> RunningChromium::launch(const QString& executable,
                                                         const BrowserProfile& profile,
                                                         BrowserClock& clock)
{
    return connect(startProcess(executable, profile), profile, clock);
}

std::unique_ptr<ChromiumProcess> RunningChromium::startProcess(const QString& executable,
                                                               const BrowserProfile& profile)
{
    // The first window that opens would otherwise restore the last session when the profile
    // asks for it (the user's "Continue where you left off"), start-up window or not.
    BrowserProfile::preventSessionRestore(profile.path());
    QString program = executable;
    QStringList arguments = browserArguments(profile.path());
    if (profile.isTemporary()) {
        arguments = QStringList{str("-c"), str(removeProfileAfterwards), str("quillon-browser"),
                                profile.path(), executable} +
                    arguments;
        program = str("/bin/sh");
    }
    // The browser keeps its crash reports beside the profile, not in the user's own browser's
    // configuration.
    const QStringList environment{str("CHROME_CONFIG_HOME=") + profile.path()};
    StepTrace::mark("launch");
    return std::make_unique<ChromiumProcess>(program, arguments, environment);
}

std::shared_ptr<RunningChromium> RunningChromium::connect(std::unique_ptr<ChromiumProcess> process,
                                                          const BrowserProfile& profile,
                                                          BrowserClock& clock)
{
    const ChromiumProcess::Pipe pipe = process->takePipe();
    std::shared_ptr<RunningChromium> chromium(
        new RunningChromium(std::move(process), profile, pipe.commandFd, pipe.eventFd, clock));
    // Read by the browser as soon as it is up, before anything that creates a target.
    chromium->connection().postChecked(str("Target.setDiscoverTargets"), {{str("discover"), true}},
                                       {}, FailureNumber::CannotCreateObject);
    return chromium;
}

std::shared_ptr<RunningChromium> RunningChromium::overPipe(int commandFd, int eventFd,
                                                           const BrowserProfile& profile,
                                                           BrowserClock& clock)
{
    return std::shared_ptr<RunningChromium>(
        new RunningChromium(nullptr, profile, commandFd, eventFd, clock));
}

RunningChromium::RunningChromium(std::unique_ptr<ChromiumProcess> process, BrowserProfile profile,
                                 int commandFd, int eventFd, BrowserClock& clock)
    : m_process(std::move(process)), m_profile(std::move(profile)),
      m_connection(std::make_unique<DevToolsConnection>(commandFd, eventFd, clock)),
      m_loads(std::make_unique<PageLoads>(*m_connection)),
      m_ahead(std::make_unique<LoadAhead>(*m_connection, *m_loads))
{}

RunningChromium::~RunningChromium()
{
    // Closing the pipe ends the browser; the process waits a moment and kills what is left.
    m_ahead.reset();
    m_connection->close();
    m_process.reset();
    removeTemporaryProfile();
}

QString RunningChromium::openWindow(const QString& address, const QJsonObject& edges)
{
    // The browser started without a window; the program's window is the one it creates here,
    // never a tab that the profile brought back. Its answer comes once the browser is up. The
    // window is driven through its tab, which the browser allows to prerender. Made on its first
    // page, the window's load starts with the browser's own work on the window rather than two
    // round trips after it. Made in its place, it is not shown over the toolbar first and then
    // moved and sized while that page loads.
    if (address != QLatin1String("about:blank"))
        StepTrace::mark("navigate");
    QJsonObject params = edges;
    params.insert(str("url"), address);
    params.insert(str("newWindow"), true);
    params.insert(str("forTab"), true);
    const auto created = m_connection->ask(str("Target.createTarget"), params, {}, StartTimeoutMs);
    m_connection->settle();
    // A refusal carries no result, and so no tab either.
    QString tabId = created ? created->value(str("result"))[str("targetId")].toString() : QString();
    if (tabId.isEmpty())
        throw Failure(FailureNumber::CannotCreateObject);
    m_connection->closeWithLastPage();
    StepTrace::mark("window");
    return tabId;
}

void RunningChromium::quit()
{
    m_connection->closeBrowser();
    if (m_process) {
        m_process->waitForExit(DevToolsConnection::ReplyTimeoutMs);
        // Helpers that outlive the browser's own process for a moment of their shutdown go now.
        m_process->kill();
    }
    removeTemporaryProfile();
}

void RunningChromium::kill()
{
    if (m_process)
        m_process->kill();
}

pid_t RunningChromium::processGroup() const
{
    return m_process ? m_process->pid() : 0;
}

QString RunningChromium::whyGone()
{
    if (QString ended = m_process ? m_process->howItEnded() : QString(); !ended.isEmpty())
        return ended;
    return m_connection->isAlive() ? str("it did not answer in time") : str("its pipe closed");
}

void RunningChromium::removeTemporaryProfile()
{
    if (m_profile.isTemporary())
        QDir(m_profile.path()).removeRecursively();
}
