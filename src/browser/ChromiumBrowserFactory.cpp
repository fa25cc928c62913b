#include "browser/ChromiumBrowserFactory.h"

#include "browser/BrowserProfile.h"
#include "browser/ChromiumBrowser.h"
#include "browser/ChromiumConnection.h"
#include "browser/ChromiumProcess.h"
#include "platform/Failure.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>

ChromiumBrowserFactory::ChromiumBrowserFactory() = default;

ChromiumBrowserFactory::ChromiumBrowserFactory(QString executable, QString profileDirectory)
    : m_executable(std::move(executable)), m_profileDirectory(std::move(profileDirectory))
{}

ChromiumBrowserFactory::~ChromiumBrowserFactory() = default;

QString ChromiumBrowserFactory::findExecutable()
{
    for (const char* name :
         {"chromium", "chromium-browser", "google-chrome", "google-chrome-stable"}) {
        QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

std::unique_ptr<Browser> ChromiumBrowserFactory::create()
{
    if (m_connection && m_connection->isAlive())
        return createHidden();
    return createWindow();
}

// Throws 429 when there is none.
QString ChromiumBrowserFactory::usableExecutable() const
{
    // A browser that is gone must be a failure of the caller's next write, not its death.
    std::signal(SIGPIPE, SIG_IGN);
    QString executable = m_executable.isEmpty() ? findExecutable() : m_executable;
    const QFileInfo info(executable);
    if (executable.isEmpty() || !info.isFile() || !info.isExecutable())
        throw Failure(FailureNumber::CannotCreateObject);
    return executable;
}

void ChromiumBrowserFactory::launchAhead()
{
    if (m_connection || m_launched)
        return;
    try {
        BrowserProfile profile = BrowserProfile::choose(m_profileDirectory);
        m_launched = ChromiumConnection::startProcess(usableExecutable(), profile);
        m_launchedProfile = std::move(profile);
    } catch (const Failure&) {
        m_launched.reset();
    }
}

std::unique_ptr<Browser> ChromiumBrowserFactory::createWindow()
{
    const QString executable = usableExecutable();
    constexpr int failure = FailureNumber::CannotCreateObject;
    std::shared_ptr<ChromiumConnection> launched =
        m_launched ? ChromiumConnection::connect(std::exchange(m_launched, nullptr),
                                                 *std::exchange(m_launchedProfile, std::nullopt))
                   : ChromiumConnection::launch(executable,
                                                BrowserProfile::choose(m_profileDirectory));
    const BrowserProfile profile = launched->profile();
    try {
        launched->openWindow();
        m_connection = std::move(launched);
    } catch (const Failure&) {
        // Another copy that took the lasting profile between the check and the start: the
        // browser then hands over to that copy and ends. One more try on a fresh profile.
        launched.reset();
        if (profile.isTemporary() || !BrowserProfile::isHeldByRunningBrowser(profile.path()))
            throw;
        m_connection = ChromiumConnection::launch(executable, BrowserProfile::makeTemporary());
        m_connection->openWindow();
    }
    const QString targetId = m_connection->windowTargetId();
    const QString sessionId = m_connection->attach(targetId, failure);
    // Without it the window is only slower to show a next page that may not be cached.
    m_connection->serveKeptDocuments(targetId, sessionId);
    return std::make_unique<ChromiumBrowser>(m_connection, ChromiumBrowser::Kind::Window, targetId,
                                             sessionId);
}

// Its target is made on its first load, after the window's first address has gone out.
std::unique_ptr<Browser> ChromiumBrowserFactory::createHidden()
{
    return std::make_unique<ChromiumBrowser>(m_connection, ChromiumBrowser::Kind::Hidden,
                                             QString(), QString());
}
