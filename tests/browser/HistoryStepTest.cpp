// A step back shows the page before from the window's history when it is that page.
#include "BrowserTestCase.h"
#include "BrowserTests.h"
#include "browser/devtools/DevToolsConnection.h"

#include <QScopeGuard>
#include <QTest>

class HistoryStepTest : public BrowserTestCase
{
    Q_OBJECT

public:
    using BrowserTestCase::BrowserTestCase;

private slots:
    void initTestCase() { startPair(); }
    void stepBackShowsThePageBeforeFromHistory_data();
    void stepBackShowsThePageBeforeFromHistory();
};

void HistoryStepTest::stepBackShowsThePageBeforeFromHistory_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("back");
    QTest::addColumn<bool>("fromHistory");
    QTest::newRow("cacheable page before") << "/back/max-age=600/cacheable"
                                           << "/back/max-age=600/cacheable" << true;
    QTest::newRow("no-store page before") << "/back/no-store/kept"
                                          << "/back/no-store/kept" << true;
    QTest::newRow("link not the page before") << "/back/max-age=600/other"
                                              << "/back/max-age=600/not-before" << false;
}

void HistoryStepTest::stepBackShowsThePageBeforeFromHistory()
{
    QFETCH(QString, before);
    QFETCH(QString, back);
    QFETCH(bool, fromHistory);
    QVERIFY(loadFully(mainBrowser(), m_server->url(before)));
    // Set on the document itself: only that document, kept whole, still has it.
    evaluate(mainBrowser(), QStringLiteral("window.shownBefore = true"));
    const int ends = windowLoadEnds();
    QVERIFY(loadFully(mainBrowser(),
                      m_server->url(QStringLiteral("/page/after-") + QTest::currentDataTag())));
    // Its frame stops loading just after its load event: that stop is no end of the step's load.
    QTRY_VERIFY(windowLoadEnds() >= ends + 2);
    const int requests = m_server->requestCount(back);
    int loads = 0;
    const auto stopWatching = qScopeGuard([this] { m_pair->main->watchPageLoads({}); });

    m_pair->main->NavigateBack(m_server->url(back));

    // A page from the history has no load event, but its load ends all the same. The step's
    // page may need a renderer of its own, which a loaded machine takes seconds to start.
    m_pair->main->watchPageLoads([&loads] { ++loads; });
    QTRY_VERIFY_WITH_TIMEOUT(loads > 0, 10000);
    QCOMPARE(m_pair->main->LocationURL(), m_server->url(back));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
             back.section(QLatin1Char('/'), 3));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("window.shownBefore === true")).toBool(),
             fromHistory);
    QCOMPARE(m_server->requestCount(back), requests + (fromHistory ? 0 : 1));
}

std::unique_ptr<QObject> makeHistoryStepTests(BrowserFixture& fixture)
{
    return std::make_unique<HistoryStepTest>(fixture);
}

#include "HistoryStepTest.moc"
