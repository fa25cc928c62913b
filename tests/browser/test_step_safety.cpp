// A step of the visible window shows its link whatever the page on show does and whatever the
// link is, and never a copy loaded ahead that is older than what the user saw: on the real
// Chromium, against pages that the test serves itself. Needs an X display.
#include "LocalHttpServer.h"
#include "browser/ChromiumBrowser.h"
#include "browser/ChromiumBrowserFactory.h"
#include "browser/ChromiumConnection.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {
LocalHttpServer* server = nullptr;

// Every title is the page's name and how many times the server was asked for it.
HttpResponse respond(const QString& path)
{
    HttpResponse response;
    const QByteArray name = path.toLatin1().mid(1);
    response.body =
        "<title>" + name + ' ' + QByteArray::number(server->requestCount(path)) + "</title>";
    // The title tells when the endless script starts.
    if (name.startsWith("spin"))
        response.body += "<script>onload = () => setTimeout(() => { document.title = 'spinning';"
                         "setTimeout(() => { for (;;) {} }, 50) }, 50)</script>";
    if (name == "spin-asking-to-stay")
        response.body += "<script>onbeforeunload = (e) => e.preventDefault()</script>";
    if (name == "login" || name == "logout")
        response.headers = {
            {"Set-Cookie", name == "login" ? "user=alice; Path=/" : "user=; Path=/; Max-Age=0"}};
    response.headers << qMakePair(
        QByteArray("Cache-Control"),
        QByteArray(name == "account" ? "private, max-age=0" : "no-cache"));
    return response;
}
} // namespace

class StepSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_main->Quit(); }
    void stepShowsItsLink_data();
    void stepShowsItsLink();

private:
    ChromiumBrowser& window() { return static_cast<ChromiumBrowser&>(*m_main); }
    // From the browser, not the page: it answers also while the page's renderer is held.
    QString shown(const char* field)
    {
        return window()
            .connection()
            .command(QStringLiteral("Target.getTargetInfo"),
                     {{QStringLiteral("targetId"),
                       window().targetId()}})[QStringLiteral("targetInfo")][QLatin1String(field)]
            .toString();
    }
    void show(const QString& path)
    {
        m_main->Navigate(server->url(path));
        const QString title = path.startsWith(QLatin1String("/spin"))
                                  ? QStringLiteral("spinning")
                                  : path.mid(1) + QLatin1Char(' ');
        QTRY_VERIFY_WITH_TIMEOUT(shown("title").startsWith(title), 15000);
    }
    int pageTargets()
    {
        const QJsonArray targets =
            window()
                .connection()
                .command(QStringLiteral("Target.getTargets"))[QStringLiteral("targetInfos")]
                .toArray();
        return int(std::count_if(targets.begin(), targets.end(), [](const QJsonValue& target) {
            return target[QStringLiteral("type")] == QLatin1String("page");
        }));
    }

    QTemporaryDir m_home;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<ChromiumBrowserFactory> m_factory;
    std::unique_ptr<Browser> m_main;
    std::unique_ptr<Browser> m_hidden;
};

void StepSafetyTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") ||
        ChromiumBrowserFactory::findExecutable().isEmpty())
        QSKIP("needs an X display (xvfb-run) and Chromium on PATH");
    qputenv("HOME", m_home.path().toUtf8());
    m_server = std::make_unique<LocalHttpServer>(respond);
    server = m_server.get();
    m_factory = std::make_unique<ChromiumBrowserFactory>(QString(), m_home.path());
    m_main = m_factory->create();
    m_hidden = m_factory->create();
    static_cast<ChromiumBrowser&>(*m_hidden).watchLoadEvents();
}

void StepSafetyTest::stepShowsItsLink_data()
{
    // before: what happens ahead of the step, in order: "show PATH" in the window, "ahead PATH"
    // in the hidden instance, "hang" the window's renderer. expected: the title that the step's
    // link must show, or about:blank.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("expected");
    QTest::newRow("page on show spins, next link on the same site")
        << QStringList{QStringLiteral("show /spin")} << QStringLiteral("/next-a")
        << QStringLiteral("next-a 1");
    QTest::newRow("spinning page asks to stay")
        << QStringList{QStringLiteral("show /spin-asking-to-stay")} << QStringLiteral("/next-b")
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
    for (const char* link : {"ftp://127.0.0.1/file.txt", "mailto:someone@example.org",
                             "tel:+15550100", "quillon-lesson:three", "chrome://version",
                             "view-source:http://127.0.0.1:9/", "lesson three"})
        QTest::addRow("%s", link) << QStringList{QStringLiteral("show /before")}
                                  << QString::fromLatin1(link) << QStringLiteral("about:blank");
}

void StepSafetyTest::stepShowsItsLink()
{
    QFETCH(QStringList, before);
    QFETCH(QString, link);
    QFETCH(QString, expected);
    for (const QString& step : before) {
        const QString path = step.section(QLatin1Char(' '), 1);
        if (step.startsWith(QLatin1String("show"))) {
            show(path);
        } else if (step.startsWith(QLatin1String("ahead"))) {
            m_hidden->Navigate(m_server->url(path));
            QVERIFY(static_cast<ChromiumBrowser&>(*m_hidden).waitForLoadEvent(10000));
        } else {
            // Reached only through the pipe: no link of a theme file goes there.
            window().connection().post(QStringLiteral("Page.navigate"),
                                       {{QStringLiteral("url"), QStringLiteral("chrome://hang")}},
                                       window().sessionId());
            QTRY_VERIFY(shown("url").startsWith(QLatin1String("chrome://hang")));
        }
    }
    QTest::qWait(300); // the page on show has started what it does
    const int pages = pageTargets();
    m_main->Navigate(link.startsWith(QLatin1Char('/')) ? m_server->url(link) : link);
    QTRY_COMPARE_WITH_TIMEOUT(shown(expected.startsWith(QLatin1String("about:")) ? "url" : "title"),
                              expected, 15000);
    // Nothing else opened, the browser and both of its targets live on, and the next step
    // shows its link.
    QTest::qWait(500);
    QCOMPARE(pageTargets(), pages);
    QVERIFY(window().connection().hasTarget(window().targetId()));
    QVERIFY(window().connection().hasTarget(static_cast<ChromiumBrowser&>(*m_hidden).targetId()));
    show(QStringLiteral("/after"));
}

QTEST_GUILESS_MAIN(StepSafetyTest)
#include "test_step_safety.moc"
