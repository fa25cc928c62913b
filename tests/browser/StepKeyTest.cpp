// The step keys pressed in the window, with real X input.
#include "BrowserTestCase.h"
#include "BrowserTests.h"
#include "TestPages.h"
#include "browser/devtools/DevToolsConnection.h"

#include <QTest>

class StepKeyTest : public BrowserTestCase
{
    Q_OBJECT

public:
    using BrowserTestCase::BrowserTestCase;

private slots:
    void initTestCase() { startPair(); }
    void onlyTheUsersStepKeysReachTheProgram();
    void firstPageComesFirstWithItsStepKeys();
};

void StepKeyTest::onlyTheUsersStepKeysReachTheProgram()
{
    QList<StepKey> pressed;
    m_pair->main->watchStepKeys([&pressed](StepKey key) { pressed << key; });
    m_pair->main->setTop(78);
    m_pair->main->setLeft(0);
    m_pair->main->setWidth(800);
    m_pair->main->setHeight(600);
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/keys"))));
    pressKeyInWindow(QStringLiteral("F9"));
    QTRY_COMPARE(pressed, QList<StepKey>{StepKey::Right});

    // The next document has the listener too, and none of its script's keys count.
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/forged-keys"))));
    QTRY_COMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
                 QStringLiteral("forged"));
    pressKeyInWindow(QStringLiteral("F8"));
    QTRY_COMPARE(pressed.size(), 2);
    QCOMPARE(pressed, (QList<StepKey>{StepKey::Right, StepKey::Left}));
    QCOMPARE(m_pair->main->LocationURL(), m_server->url(QStringLiteral("/forged-keys")));
}

// A fresh browser driven as the toolbar's start-up drives it, every set-up command sent without
// waiting: the first page (from a slow site) has the step keys all the same, and the hidden
// instance asks for the next link only once that page and its image have loaded.
void StepKeyTest::firstPageComesFirstWithItsStepKeys()
{
    LocalHttpServer slow(respond, 500);
    QTemporaryDir profile;
    ChromiumBrowserFactory factory(QString(), profile.path());
    auto main = factory.create();
    auto hidden = factory.create();
    auto& window = static_cast<WindowBrowser&>(*main);
    QList<StepKey> pressed;
    hidden->setVisible(false);
    main->setVisible(true);
    main->setTop(78);
    main->setLeft(0);
    main->setWidth(800);
    main->setHeight(600);
    main->watchStepKeys([&pressed](StepKey key) { pressed << key; });
    const QString next = QStringLiteral("/page/after-the-first");
    main->Navigate(slow.url(QStringLiteral("/np/analytics")));
    hidden->Navigate(slow.url(next));

    QTRY_VERIFY_WITH_TIMEOUT(slow.requestCount(next) == 1, 15000);
    const QStringList asked = slow.requestedPaths();
    const auto image = asked.indexOf(QStringLiteral("/np/pixel.svg"));
    QVERIFY2(image >= 0 && asked.indexOf(next) > image, qPrintable(asked.join(QLatin1Char(' '))));
    pressKeyInWindow(QStringLiteral("F9"), &window);
    QTRY_COMPARE(pressed, QList<StepKey>{StepKey::Right});
    // One listener in the page: a second report of the key would come as quickly.
    QTest::qWait(500);
    QCOMPARE(pressed, QList<StepKey>{StepKey::Right});
    main->Quit();
}

std::unique_ptr<QObject> makeStepKeyTests(BrowserFixture& fixture)
{
    return std::make_unique<StepKeyTest>(fixture);
}

#include "StepKeyTest.moc"
