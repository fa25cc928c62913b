// The documents loaded ahead, served to the window or its prerender when they still may be.
#include "BrowserTestCase.h"
#include "BrowserTests.h"
#include "browser/ahead/KeptDocumentServer.h"
#include "browser/ahead/KeptDocuments.h"
#include "browser/ahead/LoadAhead.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

class KeptDocumentTest : public BrowserTestCase
{
    Q_OBJECT

public:
    using BrowserTestCase::BrowserTestCase;

private slots:
    void initTestCase() { startPair(); }
    void keptDocumentServesTheNextPage();
    void keptDocumentOnlyWhenItMayBeServed_data();
    void keptDocumentOnlyWhenItMayBeServed();
    void windowServedFromKeptDocumentIsABrowser();
    void windowNeverGetsTheSandbox();
    void stepOntoNextLinkShowsItsPrerender_data();
    void stepOntoNextLinkShowsItsPrerender();
};

void KeptDocumentTest::keptDocumentServesTheNextPage()
{
    const QString path = QStringLiteral("/kept/no-cache-next");
    const QString link = m_server->url(path);
    QVERIFY(loadFully(hiddenBrowser(), link));
    QCOMPARE(m_server->requestCount(path), 1);
    QVERIFY(loadFully(mainBrowser(), link + QStringLiteral("#part")));
    // No second request: the hidden instance's load was served.
    QCOMPARE(m_server->requestCount(path), 1);
    QCOMPARE(m_pair->main->LocationURL(), link + QStringLiteral("#part"));
    // It runs its scripts and shows its picture, and it is the server's own document: no
    // sandbox (the script ran), its cookie is the profile's.
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
             QStringLiteral("script ran no-cache-next"));
    QCOMPARE(
        evaluate(mainBrowser(), QStringLiteral("picture.complete && picture.naturalWidth")).toInt(),
        7);
    QVERIFY(evaluate(mainBrowser(), QStringLiteral("document.cookie"))
                .toString()
                .contains(QLatin1String("kept=no-cache-next")));
    // Served once: the next visit goes to the network.
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/between"))));
    QVERIFY(loadFully(mainBrowser(), link));
    QCOMPARE(m_server->requestCount(path), 2);
}

void KeptDocumentTest::keptDocumentOnlyWhenItMayBeServed_data()
{
    QTest::addColumn<QString>("loadedAhead");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("how"); // "", "older", "reload"
    QTest::newRow("no-store") << QStringLiteral("/kept/no-store-page")
                              << QStringLiteral("/kept/no-store-page") << QString();
    QTest::newRow("redirected") << QStringLiteral("/kept/redirect")
                                << QStringLiteral("/kept/redirect") << QString();
    QTest::newRow("older than five minutes")
        << QStringLiteral("/kept/no-cache-old") << QStringLiteral("/kept/no-cache-old")
        << QStringLiteral("older");
    QTest::newRow("another address")
        << QStringLiteral("/kept/no-cache-a") << QStringLiteral("/kept/no-cache-b") << QString();
    QTest::newRow("reload") << QStringLiteral("/kept/no-cache-reloaded")
                            << QStringLiteral("/kept/no-cache-reloaded")
                            << QStringLiteral("reload");
}

void KeptDocumentTest::keptDocumentOnlyWhenItMayBeServed()
{
    QFETCH(QString, loadedAhead);
    QFETCH(QString, shown);
    QFETCH(QString, how);
    QVERIFY(loadFully(hiddenBrowser(), m_server->url(loadedAhead)));
    const int before = m_server->requestCount(shown);
    if (how == QLatin1String("older"))
        m_fixture.clock.shiftMs = KeptDocuments::MaxAgeMs + 1000;
    if (how == QLatin1String("reload")) {
        // Shown once from the hidden load, then reloaded by the user.
        QVERIFY(loadFully(mainBrowser(), m_server->url(shown)));
        QCOMPARE(m_server->requestCount(shown), before);
        LoadEventWait reload(mainBrowser());
        mainBrowser().connection().command(QStringLiteral("Page.reload"), {},
                                           mainBrowser().page().sessionId());
        QTRY_COMPARE(m_server->requestCount(shown), before + 1);
        // Loaded before the next case sends the window on: a load event that came after that
        // would be taken for the next page's.
        QVERIFY(reload.wait(10000));
        return;
    }
    QVERIFY(loadFully(mainBrowser(), m_server->url(shown)));
    m_fixture.clock.shiftMs = 0;
    QCOMPARE(m_server->requestCount(shown), before + 1);
}

void KeptDocumentTest::windowServedFromKeptDocumentIsABrowser()
{
    // A page served from the hidden load, then what a browser does from there.
    const QString link = m_server->url(QStringLiteral("/kept/no-cache-start"));
    QVERIFY(loadFully(hiddenBrowser(), link));
    QVERIFY(loadFully(mainBrowser(), link));
    QCOMPARE(m_server->requestCount(QStringLiteral("/kept/no-cache-start")), 1);
    DevToolsConnection& connection = mainBrowser().connection();
    // Popups open.
    const int pages = pageTargetCount(connection);
    connection.command(
        QStringLiteral("Runtime.evaluate"),
        {{QStringLiteral("expression"), QStringLiteral("window.open('/page/popup-of-window'); 1")},
         {QStringLiteral("userGesture"), true}},
        mainBrowser().page().sessionId());
    QTRY_COMPARE(pageTargetCount(connection), pages + 1);
    QTRY_VERIFY(m_server->requestCount(QStringLiteral("/page/popup-of-window")) == 1);
    closeOtherPages(connection);
    QTRY_COMPARE(pageTargetCount(connection), pages);
    // Dialogs show: the window's alert is there to be answered.
    bool alertOpen = false;
    auto listening = std::make_unique<QObject>();
    connection.subscribe("Page.javascriptDialogOpening", listening.get(),
                         [&](const DevToolsEvent&) { alertOpen = true; });
    LoadEventWait alertPage(mainBrowser());
    m_pair->main->Navigate(m_server->url(QStringLiteral("/alert")));
    QTRY_VERIFY_WITH_TIMEOUT(alertOpen, 10000);
    listening.reset();
    connection.command(QStringLiteral("Page.handleJavaScriptDialog"),
                       {{QStringLiteral("accept"), true}}, mainBrowser().page().sessionId());
    QVERIFY(alertPage.wait(10000));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
             QStringLiteral("dismissed"));
    // Downloads are saved.
    m_pair->main->Navigate(m_server->url(QStringLiteral("/download-attribute")));
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo::exists(m_home.path() + QStringLiteral("/Downloads/quillon-download.txt")),
        10000);
    QFile::remove(m_home.path() + QStringLiteral("/Downloads/quillon-download.txt"));
}

void KeptDocumentTest::windowNeverGetsTheSandbox()
{
    // A cacheable page loaded ahead: the window gets it first from the hidden load, then from
    // the browser's cache; both times with the server's own headers, so its script runs.
    const QString path = QStringLiteral("/kept/cacheable");
    QVERIFY(loadFully(hiddenBrowser(), m_server->url(path)));
    QCOMPARE(evaluate(hiddenBrowser(), QStringLiteral("document.title")).toString(),
             QStringLiteral("cacheable"));
    for (int visit = 0; visit < 2; ++visit) {
        QVERIFY(loadFully(mainBrowser(), m_server->url(path)));
        QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
                 QStringLiteral("script ran"));
        QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/between-visits"))));
    }
    QCOMPARE(m_server->requestCount(path), 1);
}

void KeptDocumentTest::stepOntoNextLinkShowsItsPrerender_data()
{
    QTest::addColumn<QString>("host");   // of the next link; the page on show is on 127.0.0.1
    QTest::addColumn<QString>("change"); // after the load ahead: "logout", the session cookie
    // goes in the page on show's "pagehide" or "navigate" handler, "503" (declines the load
    // ahead), "expired" (the copy's time is past), "login" (an HttpOnly cookie came)
    QTest::addColumn<bool>("prerendered");
    for (const QString change : {"", "logout", "pagehide", "navigate", "503", "expired", "login"}) {
        const bool shown = change.isEmpty() || change == "pagehide" || change == "navigate";
        QTest::addRow("same origin %s", qPrintable(change)) << "127.0.0.1" << change << shown;
    }
    // Never prerendered: the step's copy is checked against the cookies as the step began.
    for (const QString change : {"", "logout", "login"})
        QTest::addRow("another origin %s", qPrintable(change)) << "localhost" << change << false;
}

void KeptDocumentTest::stepOntoNextLinkShowsItsPrerender()
{
    QFETCH(QString, host);
    QFETCH(QString, change);
    QFETCH(bool, prerendered);
    const bool sameOrigin = host == QLatin1String("127.0.0.1");
    const bool leaving = change == QLatin1String("pagehide") || change == QLatin1String("navigate");
    const auto restore = qScopeGuard([this] { m_fixture.clock.shiftMs = 0; });
    QList<StepKey> pressed;
    m_pair->main->watchStepKeys([&pressed](StepKey key) { pressed << key; });
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/leaving/") + change)));
    // Its own script writes a cookie, but where the page on show logs out as it is left.
    QUrl next(m_server->url(QStringLiteral("/kept/no-cache-run-") +
                            (leaving ? QString() : QStringLiteral("writes-")) + host + change));
    next.setHost(host);
    const QString link = next.toString();
    // As the browser reports them to the window's page.
    bool ready = false;
    QSet<QString> targets; // prerenders that are there
    DevToolsConnection& connection = mainBrowser().connection();
    QObject listening; // the subscriptions go with it
    const auto listener = [&](const DevToolsEvent& event) {
        const QJsonObject& params = event.params;
        const QString& method = event.method;
        const QJsonObject info = params[QLatin1String("targetInfo")].toObject();
        if (method == QLatin1String("Preload.prerenderStatusUpdated") &&
            params[QLatin1String("key")][QLatin1String("url")] == link)
            ready = params[QLatin1String("status")] == QLatin1String("Ready");
        else if (method == QLatin1String("Target.attachedToTarget") &&
                 info[QLatin1String("subtype")] == QLatin1String("prerender"))
            targets.insert(info[QLatin1String("targetId")].toString());
        else if (method == QLatin1String("Target.targetDestroyed"))
            targets.remove(params[QLatin1String("targetId")].toString());
    };
    for (const char* method :
         {"Preload.prerenderStatusUpdated", "Target.attachedToTarget", "Target.targetDestroyed"})
        connection.subscribe(method, &listening, listener);
    const auto cookie = [&](const char* command, const char* name, bool httpOnly) {
        connection.command(QString::fromLatin1(command),
                           {{"name", name}, {"value", "in"}, {"httpOnly", httpOnly}, {"url", link}},
                           mainBrowser().page().sessionId());
    };
    // Which renderer runs a page: one V8 isolate each.
    const auto renderer = [&connection](const QString& sessionId) {
        return connection.command(QStringLiteral("Runtime.getIsolateId"), {}, sessionId)
            .value(QLatin1String("id"))
            .toString();
    };
    cookie("Network.setCookie", "session", false);
    QVERIFY(loadFully(hiddenBrowser(), link));
    const QString rendererAhead = renderer(hiddenBrowser().sessionId());
    // The site is told what the request is for, and may decline it.
    QVERIFY(m_server->requestHeads(next.path())
                .value(0)
                .contains("\r\nSec-Purpose: prefetch" + QByteArray(sameOrigin ? ";prerender" : "") +
                          "\r\n"));
    const bool prerenders = sameOrigin && change != QLatin1String("503");
    if (prerenders)
        QTRY_VERIFY(ready);
    QTest::qWait(500);
    QCOMPARE(ready, prerenders);
    if (change == QLatin1String("logout"))
        cookie("Network.deleteCookies", "session", false);
    if (change == QLatin1String("login"))
        cookie("Network.setCookie", "login", true);
    if (change == QLatin1String("expired"))
        m_fixture.clock.shiftMs = KeptDocuments::MaxAgeMs + 1000;
    // Nothing keeps running for a page that can no longer be shown.
    if (change == QLatin1String("expired") || change == QLatin1String("login"))
        QTRY_VERIFY(targets.isEmpty());
    const QString pageBefore = mainBrowser().page().targetId();

    m_pair->main->Navigate(link);

    // As long as any page may take to come: a step into a renderer of its own waits for it to
    // start, seconds on a loaded machine.
    QTRY_COMPARE_WITH_TIMEOUT(m_pair->main->LocationURL(), link, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(
        evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
        QStringLiteral("script ran ") + next.path().section(QLatin1Char('/'), -1), 10000);
    // The prerender became the window's page, answered from the copy loaded ahead.
    QCOMPARE(mainBrowser().page().targetId() != pageBefore, prerendered);
    // In the renderer that loaded it ahead, whichever way the page came; a load that the site
    // declined showed no page of the site there.
    if (change != QLatin1String("503"))
        QCOMPARE(renderer(mainBrowser().page().sessionId()), rendererAhead);
    // A changed login, and a copy that the site declined or that is past its time, are the
    // server's to answer; the page's own cookie is not a change. Its script ran once, in the
    // prerender or in the window, and again only where the page was fetched again after it.
    const int fetches = change.isEmpty() ? 1 : 2;
    QTRY_COMPARE(m_server->requestCount(next.path()), fetches);
    QTest::qWait(KeptDocumentServer::ShownRecheckMs + 500);
    QCOMPARE(m_server->requestCount(next.path()), fetches);
    QCOMPARE(m_server->requestCount(QStringLiteral("/beacon") + next.path()),
             prerenders ? fetches : 1);
    pressKeyInWindow(QStringLiteral("F8"));
    QTRY_COMPARE(pressed, QList<StepKey>{StepKey::Left});
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/after-step-") + host)));
    QTRY_COMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
                 QStringLiteral("after-step-") + host);
}

std::unique_ptr<QObject> makeKeptDocumentTests(BrowserFixture& fixture)
{
    return std::make_unique<KeptDocumentTest>(fixture);
}

#include "KeptDocumentTest.moc"
