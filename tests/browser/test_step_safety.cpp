// A step of the visible window always shows its link, whatever the page on show does and
// whatever the link is, and never shows a copy loaded ahead that is older than the user's view:
// on the real Chromium, against pages that the test serves itself. Needs an X display.
#include "LocalHttpServer.h"
#include "browser/ChromiumBrowser.h"
#include "browser/ChromiumBrowserFactory.h"
#include "browser/ChromiumConnection.h"

#include <QJsonArray>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>

namespace {
QMutex answersMutex;
QHash<QString, int> answers; // by path, as the server answered them

HttpResponse respond(const QString& path)
{
    int answer = 0;
    {
        QMutexLocker lock(&answersMutex);
        answer = ++answers[path];
    }
    HttpResponse response;
    const QByteArray name = path.toLatin1().mid(1);
    const QByteArray numbered = name + ' ' + QByteArray::number(answer);
    // The title says when the script starts: the browser has it before the loop begins.
    const QByteArray spin = "<script>onload = () => setTimeout(() => { document.title = "
                            "'spinning'; setTimeout(() => { for (;;) {} }, 50) }, 50)</script>";
    if (name == "spin") {
        response.body = "<title>spin</title>" + spin;
    } else if (name == "spin-unload") {
        response.body = "<title>spin</title><script>onbeforeunload = (e) => e.preventDefault()"
                        "</script>" +
                        spin;
    } else if (name == "login" || name == "logout") {
        response.headers = {{"Set-Cookie", name == "login" ? "user=alice; Path=/"
                                                           : "user=; Path=/; Max-Age=0"}};
        response.body = "<title>" + numbered + "</title>";
    } else if (name == "account") {
        response.headers = {{"Cache-Control", "private, max-age=0"}};
        response.body = "<title>" + numbered + "</title>";
    } else {
        response.headers = {{"Cache-Control", "no-cache"}};
        response.body = "<title>" + numbered + "</title>";
    }
    return response;
}
} // namespace

class StepSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void stepShowsItsLink_data();
    void stepShowsItsLink();

private:
    ChromiumBrowser& window() { return static_cast<ChromiumBrowser&>(*m_main); }
    ChromiumBrowser& hidden() { return static_cast<ChromiumBrowser&>(*m_hidden); }
    QJsonObject shownTarget();
    void show(const QString& path);
    int pageTargets();

    QTemporaryDir m_home;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<ChromiumBrowserFactory> m_factory;
    std::unique_ptr<Browser> m_main;
    std::unique_ptr<Browser> m_hidden;
    int m_rows = 0;
};

void StepSafetyTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: run under xvfb-run");
    if (ChromiumBrowserFactory::findExecutable().isEmpty())
        QSKIP("no Chromium on PATH");
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/.config")).toUtf8());
    m_server = std::make_unique<LocalHttpServer>(respond);
    m_factory = std::make_unique<ChromiumBrowserFactory>(QString(), m_home.path() +
                                                                        QStringLiteral("/profile"));
    m_main = m_factory->create();
    m_hidden = m_factory->create();
    m_hidden->setVisible(false);
    m_main->setVisible(true);
    hidden().watchLoadEvents();
}

void StepSafetyTest::cleanupTestCase()
{
    if (m_main)
        m_main->Quit();
}

// Read from the browser, not the page: it answers also while the page's renderer is held.
QJsonObject StepSafetyTest::shownTarget()
{
    return window()
        .connection()
        .command(QStringLiteral("Target.getTargetInfo"),
                 {{QStringLiteral("targetId"), window().targetId()}})
        .value(QStringLiteral("targetInfo"))
        .toObject();
}

// Shows a page that the window has not shown before, and waits until it is on show.
void StepSafetyTest::show(const QString& path)
{
    m_main->Navigate(m_server->url(path));
    const QString title = path.startsWith(QLatin1String("/spin")) ? QStringLiteral("spinning")
                                                                  : path.mid(1) + QStringLiteral(" 1");
    QTRY_COMPARE_WITH_TIMEOUT(shownTarget().value(QStringLiteral("title")).toString(), title,
                              15000);
}

int StepSafetyTest::pageTargets()
{
    int pages = 0;
    for (const QJsonValue& target : window()
                                        .connection()
                                        .command(QStringLiteral("Target.getTargets"))
                                        .value(QStringLiteral("targetInfos"))
                                        .toArray())
        pages += target[QStringLiteral("type")].toString() == QLatin1String("page");
    return pages;
}

void StepSafetyTest::stepShowsItsLink_data()
{
    // before: what happens ahead of the step ("show PATH", "ahead PATH", "hang"), in order.
    // link: the step's link ("/path" on the test's server); shown: the title it must show,
    // empty for a blank page.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("shown");
    QTest::newRow("page on show spins, next link on the same site")
        << QStringList{QStringLiteral("show /spin")} << QStringLiteral("/next-a")
        << QStringLiteral("next-a 1");
    QTest::newRow("spinning page asks to stay")
        << QStringList{QStringLiteral("show /spin-unload")} << QStringLiteral("/next-b")
        << QStringLiteral("next-b 1");
    QTest::newRow("renderer hung in the browser's own code")
        << QStringList{QStringLiteral("hang")} << QStringLiteral("/next-c")
        << QStringLiteral("next-c 1");
    QTest::newRow("logged out between the load ahead and the step")
        << QStringList{QStringLiteral("show /login"), QStringLiteral("ahead /account"),
                       QStringLiteral("show /logout")}
        << QStringLiteral("/account") << QStringLiteral("account 2");
    QTest::newRow("one link: the step is a refresh")
        << QStringList{QStringLiteral("show /one"), QStringLiteral("ahead /one")}
        << QStringLiteral("/one") << QStringLiteral("one 3");
    const QStringList links{
        QStringLiteral("ftp://127.0.0.1/file.txt"), QStringLiteral("mailto:someone@example.org"),
        QStringLiteral("tel:+15550100"), QStringLiteral("quillon-lesson:three"),
        QStringLiteral("chrome://version"), QStringLiteral("view-source:/view-source"),
        QStringLiteral("lesson three")};
    for (const QString& link : links)
        QTest::addRow("%s", qPrintable(link))
            << QStringList{QStringLiteral("show /before-") + QString::number(qHash(link))} << link
            << QString();
}

void StepSafetyTest::stepShowsItsLink()
{
    QFETCH(QStringList, before);
    QFETCH(QString, link);
    QFETCH(QString, shown);
    for (const QString& step : before) {
        const QString path = step.section(QLatin1Char(' '), 1);
        if (step.startsWith(QLatin1String("show"))) {
            show(path);
        } else if (step.startsWith(QLatin1String("ahead"))) {
            const int answered = m_server->requestCount(path);
            m_hidden->Navigate(m_server->url(path));
            QVERIFY(hidden().waitForLoadEvent(10000));
            QCOMPARE(m_server->requestCount(path), answered + 1);
        } else {
            // Reached only through the pipe: no link of a theme file goes there.
            window().connection().post(QStringLiteral("Page.navigate"),
                                       {{QStringLiteral("url"), QStringLiteral("chrome://hang")}},
                                       window().sessionId());
            QTRY_VERIFY(shownTarget().value(QStringLiteral("url")).toString().startsWith(
                QLatin1String("chrome://hang")));
        }
    }
    // The page on show has had its moment to start what it does.
    QTest::qWait(300);
    const int pages = pageTargets();
    const QString viewSource = QStringLiteral("view-source:");
    if (link.startsWith(QLatin1Char('/')))
        m_main->Navigate(m_server->url(link));
    else if (link.startsWith(viewSource + QLatin1Char('/')))
        m_main->Navigate(viewSource + m_server->url(link.mid(viewSource.size())));
    else
        m_main->Navigate(link);
    if (shown.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(shownTarget().value(QStringLiteral("url")).toString(),
                                  QStringLiteral("about:blank"), 15000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(shownTarget().value(QStringLiteral("title")).toString(), shown,
                                  15000);
    }
    // Nothing else opened, the browser and both of its targets live on, and the next step
    // shows its link.
    QTest::qWait(500);
    QCOMPARE(pageTargets(), pages);
    QVERIFY(window().connection().isAlive());
    QVERIFY(window().connection().hasTarget(window().targetId()));
    QVERIFY(window().connection().hasTarget(hidden().targetId()));
    show(QStringLiteral("/after-%1").arg(++m_rows));
}

QTEST_GUILESS_MAIN(StepSafetyTest)
#include "test_step_safety.moc"
