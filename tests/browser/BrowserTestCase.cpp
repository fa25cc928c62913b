#include "BrowserTestCase.h"

#include "TestPages.h"
#include "browser/chromium/BrowserProfile.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"
#include "platform/Failure.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

BrowserTestCase::BrowserTestCase(BrowserFixture& fixture)
    : m_fixture(fixture), m_home(fixture.home), m_profileDir(fixture.profileDir),
      m_server(fixture.server), m_pair(fixture.pair)
{}

void BrowserTestCase::init()
{
    setProperty("runningCase", QStringLiteral("%1(%2)").arg(QTest::currentTestFunction(),
                                                            QTest::currentDataTag()));
}

void BrowserTestCase::startPair()
{
    if (!std::exchange(m_fixture.tried, true)) {
        QVERIFY(m_home.isValid());
        // Downloads, if any got through, would land in this home's Downloads folder.
        m_fixture.unavailable = browserTestUnavailable(m_home.path());
        if (m_fixture.unavailable.isEmpty()) {
            QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("Downloads")));
            m_profileDir = m_home.path() + QStringLiteral("/.config/Quillon2/browser-profile");
            QCOMPARE(BrowserProfile::defaultPath(), m_profileDir);
            m_server = std::make_unique<LocalHttpServer>(respond);
            m_pair.emplace(
                std::make_unique<ChromiumBrowserFactory>(QString(), QString(), m_fixture.clock));
            QCOMPARE(m_pair->factory->chromium()->profile().path(), m_profileDir);
        }
    }
    if (!m_fixture.unavailable.isEmpty())
        QSKIP(qPrintable(m_fixture.unavailable));
    QVERIFY2(m_pair, "the browser pair did not start");
}

int BrowserTestCase::windowLoadEnds()
{
    return mainBrowser().chromium().loads().endsOf(mainBrowser().page().sessionId());
}

QJsonObject BrowserTestCase::windowBounds(WindowBrowser& browser)
{
    return browser.connection()
        .command(QStringLiteral("Browser.getWindowForTarget"),
                 {{QStringLiteral("targetId"), browser.page().targetId()}})
        .value(QStringLiteral("bounds"))
        .toObject();
}

QJsonValue BrowserTestCase::evaluate(WindowBrowser& browser, const QString& expression)
{
    return evaluate(browser.connection(), browser.page().sessionId(), expression);
}

QJsonValue BrowserTestCase::evaluate(AheadBrowser& browser, const QString& expression)
{
    return evaluate(browser.connection(), browser.sessionId(), expression);
}

// A page that goes as it is asked (the window reloads a copy whose cookies changed as it came
// on show) gives no value; a case that waits for one asks again.
QJsonValue BrowserTestCase::evaluate(DevToolsConnection& connection, const QString& sessionId,
                                     const QString& expression)
{
    try {
        const QJsonObject reply = connection.command(QStringLiteral("Runtime.evaluate"),
                                                     {{QStringLiteral("expression"), expression},
                                                      {QStringLiteral("awaitPromise"), true},
                                                      {QStringLiteral("returnByValue"), true}},
                                                     sessionId);
        return reply.value(QStringLiteral("result")).toObject().value(QStringLiteral("value"));
    } catch (const Failure&) {
        if (!connection.isAlive())
            throw;
        return QJsonValue::Undefined;
    }
}

// Later cases press keys in the window: no popup of an earlier one may take them.
void BrowserTestCase::closeOtherPages(DevToolsConnection& connection)
{
    for (const QJsonValue& value : targetsOf(connection)) {
        const QJsonObject target = value.toObject();
        const QString id = target.value(QStringLiteral("targetId")).toString();
        if (target.value(QStringLiteral("type")).toString() == QLatin1String("page") &&
            id != mainBrowser().page().targetId())
            connection.command(QStringLiteral("Target.closeTarget"),
                               {{QStringLiteral("targetId"), id}});
    }
}

QString BrowserTestCase::strayDownloads() const
{
    QStringList found;
    QDirIterator it(m_home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = it.fileName();
        if (path.startsWith(m_home.path() + QStringLiteral("/Downloads/")) ||
            name.startsWith(QLatin1String("quillon-download")) ||
            name.endsWith(QLatin1String(".crdownload")) ||
            name.startsWith(QLatin1String("archive")))
            found.append(path);
    }
    return found.join(QLatin1Char('\n'));
}

// Sends the hidden instance to `path` and waits until a plain page after it has loaded, so that
// whatever the first page started has had its chance.
void BrowserTestCase::loadInHidden(const QString& path)
{
    hiddenBrowser().Navigate(m_server->url(path));
    QTRY_VERIFY(m_server->requestCount(path) > 0);
    QTest::qWait(300);
    const QString next = QStringLiteral("/page/after") + path;
    QVERIFY2(loadFully(hiddenBrowser(), m_server->url(next)), "the hidden instance is stuck");
    QCOMPARE(hiddenBrowser().LocationURL(), m_server->url(next));
}

// Real X input: the window gets the focus, a click puts it into the page, then the key.
void BrowserTestCase::pressKeyInWindow(const QString& key, WindowBrowser* window)
{
    // By the page's title, which the window shows a moment after the load: popups that earlier
    // cases opened are Chromium windows too.
    const QString title =
        evaluate(window ? *window : mainBrowser(), QStringLiteral("document.title")).toString();
    const auto findWindow = [&title] {
        QProcess search;
        search.start(
            QStringLiteral("xdotool"),
            {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
             QLatin1Char('^') + QRegularExpression::escape(title) + QStringLiteral(" - ")});
        search.waitForFinished();
        return QString::fromLatin1(search.readAllStandardOutput().trimmed().split('\n').last());
    };
    QString found;
    QTRY_VERIFY(!(found = findWindow()).isEmpty());
    const QStringList steps[] = {
        {QStringLiteral("windowfocus"), QStringLiteral("--sync"), found},
        {QStringLiteral("mousemove"), QStringLiteral("--window"), found, QStringLiteral("400"),
         QStringLiteral("400"), QStringLiteral("click"), QStringLiteral("1")},
        {QStringLiteral("key"), key},
    };
    for (const QStringList& arguments : steps)
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), arguments), 0);
}
int BrowserTestCase::visibleWindowCount()
{
    return int(visibleBrowserWindows().size());
}
