// The addresses that the window is sent to, and what it reports of their loads.
#include "BrowserTestCase.h"
#include "BrowserTests.h"
#include "TestPages.h"
#include "browser/devtools/DevToolsConnection.h"
#include "platform/Failure.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>

class AddressTest : public BrowserTestCase
{
    Q_OBJECT

public:
    using BrowserTestCase::BrowserTestCase;

private slots:
    void initTestCase() { startPair(); }
    void locationFollowsRedirects();
    void navigateTakesPathsAndEmptyLinks_data();
    void navigateTakesPathsAndEmptyLinks();
    void scriptLinksNeverRun_data();
    void scriptLinksNeverRun();
    void overlongLinkShowsBlankPage();
    void shownPageReportsTheEndOfItsLoad();
    void unattendedStepSavesNoDownload_data();
    void unattendedStepSavesNoDownload();
    void unattendedStepThatFailsKeepsThePageBefore_data();
    void unattendedStepThatFailsKeepsThePageBefore();
};

void AddressTest::locationFollowsRedirects()
{
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/redirect"))));
    QCOMPARE(m_pair->main->LocationURL(), m_server->url(QStringLiteral("/final")));
}

void AddressTest::navigateTakesPathsAndEmptyLinks_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("expected");
    const QString file = m_home.path() + QStringLiteral("/starter page.htm");
    QFile starter(file);
    if (starter.open(QIODevice::WriteOnly))
        starter.write(page("starter"));
    QTest::newRow("local path") << file << QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
    QTest::newRow("empty link") << QString() << QStringLiteral("about:blank");
}

void AddressTest::navigateTakesPathsAndEmptyLinks()
{
    QFETCH(QString, link);
    QFETCH(QString, expected);
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/before"))));
    QVERIFY(loadFully(mainBrowser(), link));
    QCOMPARE(m_pair->main->LocationURL(), expected);
}

void AddressTest::scriptLinksNeverRun_data()
{
    QTest::addColumn<QString>("link");
    const QString script = QStringLiteral(":void(document.title='pwned '+location.origin)");
    QTest::newRow("plain") << QStringLiteral("javascript") + script;
    QTest::newRow("upper case") << QStringLiteral("JAVASCRIPT") + script;
    QTest::newRow("mixed case") << QStringLiteral("JaVaScRiPt") + script;
    QTest::newRow("leading blanks") << QStringLiteral("   javascript") + script;
    QTest::newRow("leading control characters")
        << QString(QChar(1)) + QChar(0x1f) + QChar(0x0b) + QStringLiteral("javascript") + script;
    QTest::newRow("tab inside the scheme") << QStringLiteral("java\tscript") + script;
    QTest::newRow("line feed inside the scheme") << QStringLiteral("javas\ncript") + script;
    QTest::newRow("CR LF inside the scheme") << QStringLiteral("jav\r\nascript") + script;
    QTest::newRow("tab before the colon") << QStringLiteral("javascript\t") + script;
    QTest::newRow("no-break space before it (the link reader trims it)")
        << QString(QChar(0xa0)) + QStringLiteral("javascript") + script;
}

void AddressTest::scriptLinksNeverRun()
{
    QFETCH(QString, link);
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/reading"))));
    // The browser's own URL parser takes the spelling (after the link reader's trim) for script.
    const QString quoted =
        QString::fromUtf8(QJsonDocument(QJsonArray{link.trimmed()}).toJson(QJsonDocument::Compact));
    QCOMPARE(
        evaluate(mainBrowser(), QStringLiteral("new URL(%1[0]).protocol").arg(quoted)).toString(),
        QStringLiteral("javascript:"));
    QVERIFY2(loadFully(mainBrowser(), link), "no blank page");
    QCOMPARE(m_pair->main->LocationURL(), QStringLiteral("about:blank"));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(), QString());
    // The window goes on as before.
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/after-script"))));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
             QStringLiteral("after-script"));
}

void AddressTest::overlongLinkShowsBlankPage()
{
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/before-long"))));
    // 3 MB: more than the browser takes.
    const QString link =
        m_server->url(QStringLiteral("/page/long?") + QString(3 * 1024 * 1024, QLatin1Char('a')));
    QVERIFY(loadFully(mainBrowser(), link));
    QCOMPARE(m_pair->main->LocationURL(), QStringLiteral("about:blank"));
}

void AddressTest::shownPageReportsTheEndOfItsLoad()
{
    // A port that was free a moment ago refuses the connection.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    const auto loads = std::make_shared<int>();
    const auto stopWatching = qScopeGuard([this] { m_pair->main->watchPageLoads({}); });
    for (const QString& link : {m_server->url(QStringLiteral("/page/loads")), refused,
                                m_server->url(QStringLiteral("/no-content"))}) {
        m_pair->main->watchPageLoads({});
        const int ends = windowLoadEnds();
        QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/before-load"))));
        // Its frame stops loading just after its load event.
        QTRY_VERIFY(windowLoadEnds() >= ends + 2);
        *loads = 0;
        m_pair->main->watchPageLoads([loads] { ++*loads; });
        // A late watcher hears of the load that is over, once.
        QCOMPARE(std::exchange(*loads, 0), 1);
        m_pair->main->Navigate(link);
        QTRY_VERIFY2_WITH_TIMEOUT(*loads > 0, qPrintable(link), 10000);
    }
}

void AddressTest::unattendedStepSavesNoDownload_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("saved");
    QTest::newRow("attachment") << QStringLiteral("/attachment")
                                << QStringLiteral("quillon-download.txt");
    QTest::newRow("a type that is saved")
        << QStringLiteral("/archive.zip") << QStringLiteral("archive.zip");
}

// Twice onto the link, as two rounds of the timer; then the user's own step saves it.
void AddressTest::unattendedStepSavesNoDownload()
{
    QFETCH(QString, path);
    QFETCH(QString, saved);
    const QString link = m_server->url(path);
    const QString before = m_server->url(QStringLiteral("/page/before-download"));
    QStringList passedOver;
    m_pair->main->watchPassedOver(
        [&passedOver](const QString& url, const QString&) { passedOver << url; });
    const auto stopWatching = qScopeGuard([this] { m_pair->main->watchPassedOver({}); });
    for (int round = 1; round <= 2; ++round) {
        QVERIFY(loadFully(mainBrowser(), before));
        m_pair->main->NavigateUnattended(link);
        QTRY_COMPARE_WITH_TIMEOUT(passedOver.size(), round, 10000);
    }
    QCOMPARE(passedOver, (QStringList{link, link}));
    QCOMPARE(m_pair->main->LocationURL(), before);
    QTRY_COMPARE(strayDownloads(), QString());
    m_pair->main->Navigate(link);
    const QString file = m_home.path() + QStringLiteral("/Downloads/") + saved;
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(file), 10000);
    QCOMPARE(passedOver.size(), 2);
    QFile::remove(file);
}

void AddressTest::unattendedStepThatFailsKeepsThePageBefore_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("why");
    QTest::newRow("a server error") << m_server->url(QStringLiteral("/status/503"))
                                    << "a link that did not load (the server answered 503)";
    QTest::newRow("a refused connection")
        << QStringLiteral("http://127.0.0.1:1/") << "a link that did not load (Failed)";
    QTest::newRow("no such host") << QStringLiteral("http://nowhere.invalid/")
                                  << "a link that did not load (NameNotResolved)";
}

// The error page would stand on an unattended screen until the next step; the user's own step
// onto the link still shows it.
void AddressTest::unattendedStepThatFailsKeepsThePageBefore()
{
    QFETCH(QString, link);
    QFETCH(QString, why);
    const QString before = m_server->url(QStringLiteral("/page/before-failure"));
    QStringList passedOver;
    m_pair->main->watchPassedOver(
        [&passedOver](const QString& url, const QString& reason) { passedOver << url << reason; });
    const auto stopWatching = qScopeGuard([this] { m_pair->main->watchPassedOver({}); });
    QVERIFY(loadFully(mainBrowser(), before));
    m_pair->main->NavigateUnattended(link);
    QTRY_COMPARE_WITH_TIMEOUT(passedOver, (QStringList{link, why}), 10000);
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("location.href")).toString(), before);
    m_pair->main->Navigate(link);
    QTRY_VERIFY_WITH_TIMEOUT(
        evaluate(mainBrowser(), QStringLiteral("location.href")).toString() != before, 10000);
    QCOMPARE(passedOver.size(), 2);
}

std::unique_ptr<QObject> makeAddressTests(BrowserFixture& fixture)
{
    return std::make_unique<AddressTest>(fixture);
}

#include "AddressTest.moc"
