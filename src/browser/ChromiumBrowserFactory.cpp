#include "browser/ChromiumBrowserFactory.h"

#include "browser/BrowserProfile.h"
#include "browser/ChromiumBrowser.h"
#include "browser/ChromiumConnection.h"
#include "browser/ChromiumProcess.h"
#include "platform/Failure.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>

ChromiumBrowserFactory::Launched::Launched() = default;
ChromiumBrowserFactory::Launched::~Launched() = default;
ChromiumBrowserFactory::Launched::Launched(Launched&&) noexcept = default;
ChromiumBrowserFactory::Launched&
ChromiumBrowserFactory::Launched::operator=(Launched&&) noexcept = default;

ChromiumBrowserFactory::ChromiumBrowserFactory(Launched launched) : m_launched(std::move(launched))
{}

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

// `executable`, or the one on PATH when empty; throws 429 when there is none.
QString ChromiumBrowserFactory::usableExecutable(const QString& executable)
{
    // A browser that is gone must be a failure of the caller's next write, not its death.
    std::signal(SIGPIPE, SIG_IGN);
    QString found = executable.isEmpty() ? findExecutable() : executable;
    const QFileInfo info(found);
    if (found.isEmpty() || !info.isFile() || !info.isExecutable())
        throw Failure(FailureNumber::CannotCreateObject);
    return found;
}

ChromiumBrowserFactory::Launched ChromiumBrowserFactory::launchAhead()
{
    Launched launched;
    try {
        BrowserProfile profile = BrowserProfile::choose();
        launched.process = ChromiumConnection::startProcess(usableExecutable({}), profile);
        launched.profile = std::move(profile);
    } catch (const Failure&) {
        launched.process.reset();
    }
    return launched;
}

std::unique_ptr<Browser> ChromiumBrowserFactory::createWindow()
{
    const QString executable = usableExecutable(m_executable);
    constexpr int failure = FailureNumber::CannotCreateObject;
    Launched ahead = std::exchange(m_launched, {});
    std::shared_ptr<ChromiumConnection> launched =
        ahead.process ? ChromiumConnection::connect(std::move(ahead.process), *ahead.profile)
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
    const auto [targetId, sessionId] = m_connection->attachWindow(failure);
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
