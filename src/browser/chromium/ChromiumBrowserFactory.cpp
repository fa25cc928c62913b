#include "browser/chromium/ChromiumBrowserFactory.h"

#include "browser/NavigationUrl.h"
#include "browser/ahead/AheadBrowser.h"
#include "browser/chromium/ChromiumProcess.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/window/WindowBrowser.h"
#include "browser/window/WindowPlacement.h"
#include "platform/Failure.h"

#include <QFileInfo>
#include <QStandardPaths>

ChromiumBrowserFactory::Launched::Launched() = default;
ChromiumBrowserFactory::Launched::~Launched() = default;
ChromiumBrowserFactory::Launched::Launched(Launched&&) noexcept = default;
ChromiumBrowserFactory::Launched&
ChromiumBrowserFactory::Launched::operator=(Launched&&) noexcept = default;

ChromiumBrowserFactory::ChromiumBrowserFactory(Launched launched) : m_launched(std::move(launched))
{}

ChromiumBrowserFactory::ChromiumBrowserFactory(QString executable, QString profileDirectory,
                                               BrowserClock& clock)
    : m_executable(std::move(executable)), m_profileDirectory(std::move(profileDirectory)),
      m_clock(clock)
{}

ChromiumBrowserFactory::~ChromiumBrowserFactory() = default;

QString ChromiumBrowserFactory::findExecutable()
{
    for (const char* name :
         {"chromium", "chromium-browser", "google-chrome", "google-chrome-stable"}) {
        if (QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
            !path.isEmpty())
            return path;
    }
    return {};
}

std::unique_ptr<Browser> ChromiumBrowserFactory::create()
{
    // A hidden instance's target is made on its first load, after the window's first address has
    // gone out.
    if (m_chromium && m_chromium->connection().isAlive())
        return std::make_unique<AheadBrowser>(m_chromium);
    return createWindow();
}

// The instances hold the browser too; the caller has let them go first. One that hangs would
// hold the lasting profile, and would not end by itself when its pipe closes.
void ChromiumBrowserFactory::dropBrowser()
{
    if (m_chromium)
        m_chromium->kill();
    m_chromium.reset();
    m_launched = {};
}

// `executable`, or the one on PATH when empty; throws 429 when there is none.
QString ChromiumBrowserFactory::usableExecutable(const QString& executable)
{
    QString found = executable.isEmpty() ? findExecutable() : executable;
    const QFileInfo info(found);
    if (found.isEmpty() || !info.isFile() || !info.isExecutable())
        throw Failure(FailureNumber::CannotCreateObject);
    return found;
}

ChromiumBrowserFactory::Launched ChromiumBrowserFactory::launchAhead()
{
    try {
        BrowserProfile profile = BrowserProfile::choose();
        Launched launched;
        launched.process = RunningChromium::startProcess(usableExecutable({}), profile);
        launched.profile = std::move(profile);
        return launched;
    } catch (const Failure&) {
        return {};
    }
}

std::unique_ptr<Browser> ChromiumBrowserFactory::createWindow()
{
    const QString executable = usableExecutable(m_executable);
    Launched ahead = std::exchange(m_launched, {});
    std::shared_ptr<RunningChromium> launched =
        ahead.process ? RunningChromium::connect(std::move(ahead.process), *ahead.profile, m_clock)
                      : RunningChromium::launch(
                            executable, BrowserProfile::choose(m_profileDirectory), m_clock);
    const BrowserProfile profile = launched->profile();
    // Checked as any step's address: the window is made on nothing that it would not be sent to.
    const QString firstAddress = shownAddress(m_firstLink);
    const QJsonObject edges =
        m_firstPlacement ? WindowPlacement::edgesOf(*m_firstPlacement) : QJsonObject();
    QString tabId;
    try {
        tabId = launched->openWindow(firstAddress, edges);
        m_chromium = std::move(launched);
    } catch (const Failure&) {
        // Another copy that took the lasting profile between the check and the start: the
        // browser then hands over to that copy and ends. One more try on a fresh profile.
        launched.reset();
        if (profile.isTemporary() || !BrowserProfile::isHeldByRunningBrowser(profile.path()))
            throw;
        m_chromium = RunningChromium::launch(executable, BrowserProfile::makeTemporary(), m_clock);
        tabId = m_chromium->openWindow(firstAddress, edges);
    }
    return WindowBrowser::open(m_chromium, tabId, firstAddress);
}
