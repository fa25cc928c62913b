// The browser pair on the real Chromium, over its pipe, against pages that the test serves
// itself on 127.0.0.1. Needs an X display (xvfb-run).
#include "BrowserProcesses.h"
#include "LocalHttpServer.h"
#include "browser/BrowserProfile.h"
#include "browser/ChromiumBrowser.h"
#include "browser/ChromiumBrowserFactory.h"
#include "browser/ChromiumConnection.h"
#include "browser/ChromiumProcess.h"
#include "browser/DevToolsPipe.h"
#include "platform/Failure.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <optional>

namespace {
QByteArray page(const QByteArray& title, const QByteArray& body = {})
{
    return "<!doctype html><title>" + title + "</title>" + body;
}

QByteArray wave()
{
    // One second of a 440 Hz tone, 8 kHz mono 16 bit.
    QByteArray samples;
    for (int i = 0; i < 8000; ++i) {
        const qint16 value = qint16(8000 * std::sin(i * 2 * M_PI * 440 / 8000));
        samples.append(reinterpret_cast<const char*>(&value), 2);
    }
    auto le32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    return "RIFF" + le32(36 + quint32(samples.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
           le32(8000) + le32(16000) + le16(2) + le16(16) + "data" + le32(quint32(samples.size())) +
           samples;
}

HttpResponse respond(const QString& path)
{
    HttpResponse response;
    const QByteArray name = path.toLatin1();
    if (path.startsWith(QLatin1String("/page/"))) {
        response.body = page(name.mid(6));
    } else if (path == QLatin1String("/redirect")) {
        response.status = 302;
        response.headers = {{"Location", "/final"}};
    } else if (path == QLatin1String("/final")) {
        response.body = page("final");
    } else if (path == QLatin1String("/attachment")) {
        response.contentType = "text/plain";
        response.headers = {
            {"Content-Disposition", "attachment; filename=\"quillon-download.txt\""}};
        response.body = "saved text";
    } else if (path == QLatin1String("/archive.zip")) {
        response.contentType = "application/zip";
        response.body = "PK\x03\x04 not really an archive";
    } else if (path == QLatin1String("/download-link")) {
        response.body = page("link", "<a id=a href=\"/attachment\">get</a>"
                                     "<script>document.getElementById('a').click()</script>");
    } else if (path == QLatin1String("/download-attribute")) {
        response.body = page("save as", "<a id=a href=\"/attachment\" download>get</a>"
                                        "<script>document.getElementById('a').click()</script>");
    } else if (path == QLatin1String("/blob-download")) {
        response.body = page("blob", "<script>const a = document.createElement('a');"
                                     "a.href = URL.createObjectURL(new Blob(['x'.repeat(100000)]));"
                                     "a.download = 'quillon-download-blob.txt';"
                                     "document.body.append(a); a.click()</script>");
    } else if (path == QLatin1String("/alert")) {
        response.body =
            page("alert", "<script>alert('hello'); document.title = 'dismissed'</script>");
    } else if (path == QLatin1String("/confirm")) {
        response.body =
            page("confirm", "<script>document.title = 'answered ' + confirm('sure?')</script>");
    } else if (path == QLatin1String("/prompt")) {
        response.body =
            page("prompt", "<script>document.title = 'answered ' + prompt('name?')</script>");
    } else if (path == QLatin1String("/beforeunload")) {
        response.body = page("stay", "<script>onbeforeunload = (e) => { e.preventDefault(); "
                                     "return e.returnValue = 'stay'; }</script>");
    } else if (path == QLatin1String("/popup")) {
        response.body =
            page("popup", "<script>window.open('/page/opened', '_blank'); "
                          "window.open('/page/opened-window', 'w', 'width=300')</script>");
    } else if (path == QLatin1String("/sound")) {
        response.body = page("sound", "<audio autoplay loop src=\"/tone.wav\"></audio><script>"
                                      "window.tone = new Audio('/tone.wav'); tone.loop = true;"
                                      "tone.play().catch(() => {});"
                                      "window.context = new AudioContext(); context.resume();"
                                      "</script>");
    } else if (path == QLatin1String("/tone.wav")) {
        response.contentType = "audio/wav";
        response.body = wave();
    } else if (path == QLatin1String("/permission")) {
        response.body = page("permission", "<script>Notification.requestPermission();"
                                           "navigator.geolocation.getCurrentPosition(() => {}, "
                                           "() => {})</script>");
    } else if (path == QLatin1String("/forged-keys")) {
        // Everything a page's script can do to look like the step keys.
        response.body = page("forging", R"(<input id=field><script>
            const right = () => new KeyboardEvent('keydown', {key: 'F9', code: 'F9',
                keyCode: 120, bubbles: true, cancelable: true});
            onload = () => {
              for (const target of [window, document, document.body, field])
                target.dispatchEvent(right());
              field.focus();
              field.dispatchEvent(right());
              try { quillonStepKey('right'); } catch (e) {}
              document.title = 'forged';
            };</script>)");
    } else {
        response.status = 404;
        response.body = page("missing");
    }
    return response;
}

// Runs the browser as a user would have run it: with `arguments` added to the usual ones but with
// its own start-up window on `links` (as tabs), lets the tabs load, then ends it with Browser.close
// as the toolbar's End does. The profile then holds the session of those tabs. Returns the
// addresses of the browser's tabs just before the end; nothing when it did not run as it should.
std::optional<QStringList> runBrowserOnce(const QString& profile, const QStringList& links,
                                          const LocalHttpServer& server)
{
    QStringList arguments = ChromiumConnection::browserArguments(profile);
    arguments.removeAll(QStringLiteral("--no-startup-window"));
    ChromiumProcess process(ChromiumBrowserFactory::findExecutable(), arguments + links, {});
    const ChromiumProcess::Pipe ends = process.takePipe();
    DevToolsPipe pipe(ends.commandFd, ends.eventFd);
    if (!pipe.call(QStringLiteral("Browser.getVersion"), {}, {}, 10000))
        return {};
    for (const QString& link : links) {
        const QString path = QUrl(link).path();
        if (!pipe.waitUntil([&] { return server.requestCount(path) > 0; }, 10000))
            return {};
    }
    // Restored tabs come a moment after the window; the session is written a moment after the
    // tabs have loaded.
    pipe.waitUntil([] { return false; }, 2000);
    const auto targets = pipe.call(QStringLiteral("Target.getTargets"), {}, {}, 5000);
    if (!targets)
        return {};
    QStringList tabs;
    for (const QJsonValue& target : targets->value(QStringLiteral("result"))
                                        .toObject()
                                        .value(QStringLiteral("targetInfos"))
                                        .toArray()) {
        if (target[QStringLiteral("type")].toString() == QLatin1String("page"))
            tabs.append(target[QStringLiteral("url")].toString());
    }
    pipe.send(QStringLiteral("Browser.close"));
    pipe.waitUntil([] { return false; }, 5000);
    if (!process.waitForExit(10000))
        return {};
    tabs.sort();
    return tabs;
}

int visibleWindowCount()
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--class"), QStringLiteral("chromium")});
    xdotool.waitForFinished();
    const QByteArray windows = xdotool.readAllStandardOutput().trimmed();
    return windows.isEmpty() ? 0 : int(windows.split('\n').size());
}
} // namespace

class BrowserTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void restoredSessionNeverTakesTheWindow();
    void windowLandsWhereAsked_data();
    void windowLandsWhereAsked();
    void locationFollowsRedirects();
    void navigateTakesPathsAndEmptyLinks_data();
    void navigateTakesPathsAndEmptyLinks();
    void scriptLinksNeverRun_data();
    void scriptLinksNeverRun();
    void hiddenInstanceLoadsOutOfSight();
    void hiddenInstanceKeepsPageEffectsFromTheUser_data();
    void hiddenInstanceKeepsPageEffectsFromTheUser();
    void hiddenInstanceMakesNoSound();
    void hiddenInstanceGrantsNoPermission();
    void onlyTheUsersStepKeysReachTheProgram();
    void goneWindowFailsNextOperation_data();
    void goneWindowFailsNextOperation();
    void quitLeavesNoProcess();
    void browserThatCannotStartFailsCreation_data();
    void browserThatCannotStartFailsCreation();
    void profileHeldByAnotherCopyGivesTemporaryOne();
    void killedProgramLeavesNoBrowser_data();
    void killedProgramLeavesNoBrowser();

private:
    ChromiumBrowser& mainBrowser() { return static_cast<ChromiumBrowser&>(*m_main); }
    ChromiumBrowser& hiddenBrowser() { return static_cast<ChromiumBrowser&>(*m_hidden); }
    QJsonObject windowBounds(ChromiumBrowser& browser);
    QJsonValue evaluate(ChromiumBrowser& browser, const QString& expression);
    int pageTargetCount(ChromiumConnection& connection);
    void pressKeyInWindow(const QString& key);
    QStringList strayDownloads() const;
    void loadInHidden(const QString& path);

    QTemporaryDir m_home;
    QString m_profileDir;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<ChromiumBrowserFactory> m_factory;
    std::unique_ptr<Browser> m_main;
    std::unique_ptr<Browser> m_hidden;
};

void BrowserTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: run under xvfb-run");
    if (ChromiumBrowserFactory::findExecutable().isEmpty())
        QSKIP("no Chromium on PATH");
    QVERIFY(m_home.isValid());
    // Downloads, if any got through, would land in this home's Downloads folder.
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/.config")).toUtf8());
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("Downloads")));
    m_profileDir = m_home.path() + QStringLiteral("/.config/Quillon2/browser-profile");
    QCOMPARE(BrowserProfile::defaultPath(), m_profileDir);
    m_server = std::make_unique<LocalHttpServer>(respond);
    m_factory = std::make_unique<ChromiumBrowserFactory>();
    m_main = m_factory->create();
    m_hidden = m_factory->create();
    QCOMPARE(m_factory->connection()->profile().path(), m_profileDir);
    mainBrowser().watchLoadEvents();
    m_hidden->setVisible(false);
    m_main->setVisible(true);
}

void BrowserTest::cleanupTestCase()
{
    if (m_main)
        m_main->Quit();
}

QJsonObject BrowserTest::windowBounds(ChromiumBrowser& browser)
{
    return browser.connection()
        .command(QStringLiteral("Browser.getWindowForTarget"),
                 {{QStringLiteral("targetId"), browser.targetId()}})
        .value(QStringLiteral("bounds"))
        .toObject();
}

QJsonValue BrowserTest::evaluate(ChromiumBrowser& browser, const QString& expression)
{
    const QJsonObject reply =
        browser.connection().command(QStringLiteral("Runtime.evaluate"),
                                     {{QStringLiteral("expression"), expression},
                                      {QStringLiteral("awaitPromise"), true},
                                      {QStringLiteral("returnByValue"), true}},
                                     browser.sessionId());
    return reply.value(QStringLiteral("result")).toObject().value(QStringLiteral("value"));
}

int BrowserTest::pageTargetCount(ChromiumConnection& connection)
{
    const QJsonArray targets = connection.command(QStringLiteral("Target.getTargets"))
                                   .value(QStringLiteral("targetInfos"))
                                   .toArray();
    int pages = 0;
    for (const QJsonValue& target : targets)
        pages +=
            target.toObject().value(QStringLiteral("type")).toString() == QLatin1String("page");
    return pages;
}

QStringList BrowserTest::strayDownloads() const
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
    return found;
}

// Sends the hidden instance to `path` and waits until a plain page after it has loaded, so that
// whatever the first page started has had its chance.
void BrowserTest::loadInHidden(const QString& path)
{
    hiddenBrowser().Navigate(m_server->url(path));
    QTRY_VERIFY(m_server->requestCount(path) > 0);
    QTest::qWait(300);
    const QString next = QStringLiteral("/page/after") + path;
    hiddenBrowser().Navigate(m_server->url(next));
    QVERIFY2(hiddenBrowser().waitForLoadEvent(10000), "the hidden instance is stuck");
    QCOMPARE(hiddenBrowser().LocationURL(), m_server->url(next));
}

void BrowserTest::restoredSessionNeverTakesTheWindow()
{
    // A used profile: the user set "Continue where you left off" and had two tabs open at the
    // last End.
    QTemporaryDir profile;
    QVERIFY(QDir(profile.path()).mkpath(QStringLiteral("Default")));
    QFile preferences(profile.path() + QStringLiteral("/Default/Preferences"));
    QVERIFY(preferences.open(QIODevice::WriteOnly));
    preferences.write(R"({"session":{"restore_on_startup":1}})");
    preferences.close();
    const QStringList tabs{m_server->url(QStringLiteral("/page/restored-one")),
                           m_server->url(QStringLiteral("/page/restored-two"))};
    QCOMPARE(runBrowserOnce(profile.path(), tabs, *m_server), tabs);
    QVERIFY(QDir(profile.path() + QStringLiteral("/Default/Sessions")).count() > 2);
    QVERIFY(preferences.open(QIODevice::ReadOnly));
    QVERIFY(preferences.readAll().contains(R"("restore_on_startup":1)"));
    preferences.close();
    // What the profile would do for a browser that opens a window of its own: both tabs back.
    {
        QTemporaryDir copy;
        QVERIFY(QProcess::execute(QStringLiteral("cp"),
                                  {QStringLiteral("-a"), profile.path() + QStringLiteral("/."),
                                   copy.path()}) == 0);
        const QString own = m_server->url(QStringLiteral("/page/control"));
        QCOMPARE(runBrowserOnce(copy.path(), {own}, *m_server),
                 QStringList({own, tabs.at(0), tabs.at(1)}));
    }

    ChromiumBrowserFactory factory(QString(), profile.path());
    auto main = factory.create();
    auto hidden = factory.create();
    auto& window = static_cast<ChromiumBrowser&>(*main);
    window.watchLoadEvents();
    const QRect placed(0, 78, 900, 600);
    main->setTop(placed.top());
    main->setLeft(placed.left());
    main->setWidth(placed.width());
    main->setHeight(placed.height());
    main->setVisible(true);
    // Right: the window shows the next link while the hidden instance loads the one after.
    const QString next = m_server->url(QStringLiteral("/page/restore-next"));
    main->Navigate(next);
    hidden->Navigate(m_server->url(QStringLiteral("/page/restore-after")));
    QVERIFY(window.waitForLoadEvent(10000));
    QCOMPARE(main->LocationURL(), next);
    // The restore setting opened nothing: one page, in one window.
    QTest::qWait(2000);
    QCOMPARE(pageTargetCount(window.connection()), 1);
    // The page is on show in the placed window: its title is the title of that window.
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--name"), QStringLiteral("^restore-next")});
    QVERIFY(xdotool.waitForFinished());
    const QList<QByteArray> shown = xdotool.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(shown.size(), 1);
    QVERIFY(!shown.first().isEmpty());
    const QJsonObject bounds = windowBounds(window);
    QCOMPARE(QRect(bounds.value(QStringLiteral("left")).toInt(),
                   bounds.value(QStringLiteral("top")).toInt(),
                   bounds.value(QStringLiteral("width")).toInt(),
                   bounds.value(QStringLiteral("height")).toInt()),
             placed);
    main->Quit();
}

void BrowserTest::windowLandsWhereAsked_data()
{
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("whole pixels") << 78.0 << 0.0 << 800.0 << 500.0 << QRect(0, 78, 800, 500);
    QTest::newRow("fractions are rounded")
        << 100.5 << 20.49 << 640.4 << 480.6 << QRect(20, 101, 640, 481);
    QTest::newRow("start-up products of a 1024 x 768 screen")
        << 78.0 << 0.0 << 1024 * 15 * 0.067 << 768 * 15 * 0.055 << QRect(0, 78, 1029, 634);
}

void BrowserTest::windowLandsWhereAsked()
{
    QFETCH(double, top);
    QFETCH(double, left);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(QRect, expected);
    m_main->setTop(top);
    m_main->setLeft(left);
    m_main->setWidth(width);
    m_main->setHeight(height);
    const QJsonObject bounds = windowBounds(mainBrowser());
    const QRect actual(bounds.value(QStringLiteral("left")).toInt(),
                       bounds.value(QStringLiteral("top")).toInt(),
                       bounds.value(QStringLiteral("width")).toInt(),
                       bounds.value(QStringLiteral("height")).toInt());
    QCOMPARE(actual, expected);
    QCOMPARE(bounds.value(QStringLiteral("windowState")).toString(), QStringLiteral("normal"));
}

void BrowserTest::locationFollowsRedirects()
{
    m_main->Navigate(m_server->url(QStringLiteral("/redirect")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_main->LocationURL(), m_server->url(QStringLiteral("/final")));
}

void BrowserTest::navigateTakesPathsAndEmptyLinks_data()
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

void BrowserTest::navigateTakesPathsAndEmptyLinks()
{
    QFETCH(QString, link);
    QFETCH(QString, expected);
    m_main->Navigate(m_server->url(QStringLiteral("/page/before")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    m_main->Navigate(link);
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_main->LocationURL(), expected);
}

void BrowserTest::scriptLinksNeverRun_data()
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

void BrowserTest::scriptLinksNeverRun()
{
    QFETCH(QString, link);
    m_main->Navigate(m_server->url(QStringLiteral("/page/reading")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    // The browser's own URL parser takes the spelling (after the link reader's trim) for script.
    const QString quoted =
        QString::fromUtf8(QJsonDocument(QJsonArray{link.trimmed()}).toJson(QJsonDocument::Compact));
    QCOMPARE(
        evaluate(mainBrowser(), QStringLiteral("new URL(%1[0]).protocol").arg(quoted)).toString(),
        QStringLiteral("javascript:"));
    m_main->Navigate(link);
    QVERIFY2(mainBrowser().waitForLoadEvent(10000), "no blank page");
    QCOMPARE(m_main->LocationURL(), QStringLiteral("about:blank"));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(), QString());
    // The window goes on as before.
    m_main->Navigate(m_server->url(QStringLiteral("/page/after-script")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
             QStringLiteral("after-script"));
}

void BrowserTest::hiddenInstanceLoadsOutOfSight()
{
    const int windowsBefore = visibleWindowCount();
    const QString path = QStringLiteral("/page/ahead");
    m_hidden->Navigate(m_server->url(path));
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_server->requestCount(path), 1);
    QCOMPARE(m_hidden->LocationURL(), m_server->url(path));
    // Still one tab, in one window; the hidden target is no page of a window.
    QCOMPARE(pageTargetCount(hiddenBrowser().connection()), 1);
    QCOMPARE(visibleWindowCount(), windowsBefore);
    QVERIFY(windowsBefore >= 1);
}

void BrowserTest::hiddenInstanceKeepsPageEffectsFromTheUser_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("titleAfter"); // empty: not checked
    QTest::newRow("attachment") << QStringLiteral("/attachment") << QString();
    QTest::newRow("file type that is saved") << QStringLiteral("/archive.zip") << QString();
    QTest::newRow("script clicks a download link") << QStringLiteral("/download-link") << QString();
    QTest::newRow("script clicks a link to be saved")
        << QStringLiteral("/download-attribute") << QString();
    QTest::newRow("script saves data of its own") << QStringLiteral("/blob-download") << QString();
    QTest::newRow("alert") << QStringLiteral("/alert") << QStringLiteral("dismissed");
    QTest::newRow("confirm") << QStringLiteral("/confirm") << QStringLiteral("answered false");
    QTest::newRow("prompt") << QStringLiteral("/prompt") << QStringLiteral("answered null");
    QTest::newRow("beforeunload") << QStringLiteral("/beforeunload") << QString();
    QTest::newRow("popups") << QStringLiteral("/popup") << QString();
}

void BrowserTest::hiddenInstanceKeepsPageEffectsFromTheUser()
{
    QFETCH(QString, path);
    QFETCH(QString, titleAfter);
    const int windowsBefore = visibleWindowCount();
    if (!titleAfter.isEmpty()) {
        m_hidden->Navigate(m_server->url(path));
        QVERIFY2(hiddenBrowser().waitForLoadEvent(10000), "a dialog holds the page");
        QCOMPARE(evaluate(hiddenBrowser(), QStringLiteral("document.title")).toString(),
                 titleAfter);
    }
    loadInHidden(path);
    QCOMPARE(strayDownloads(), QStringList());
    QCOMPARE(pageTargetCount(hiddenBrowser().connection()), 1);
    QCOMPARE(visibleWindowCount(), windowsBefore);
}

void BrowserTest::hiddenInstanceMakesNoSound()
{
    m_hidden->Navigate(m_server->url(QStringLiteral("/sound")));
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    const QString audible =
        QStringLiteral("new Promise((done) => setTimeout(() => done("
                       "[...document.querySelectorAll('audio'), window.tone]"
                       ".filter((m) => !m.paused && !m.muted && m.volume > 0).length), 1000))");
    QCOMPARE(evaluate(hiddenBrowser(), audible).toInt(-1), 0);
    QVERIFY(evaluate(hiddenBrowser(), QStringLiteral("context.state")).toString() !=
            QLatin1String("running"));
    // Also once the page tries to unmute what plays.
    const QString unmuted = QStringLiteral(
        "tone.muted = true; tone.play().then(() => { tone.muted = false; return !tone.paused && "
        "!tone.muted; }, () => false)");
    QCOMPARE(evaluate(hiddenBrowser(), unmuted).toBool(), false);
}

void BrowserTest::hiddenInstanceGrantsNoPermission()
{
    const int windowsBefore = visibleWindowCount();
    loadInHidden(QStringLiteral("/permission"));
    m_hidden->Navigate(m_server->url(QStringLiteral("/permission")));
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    const QString asked = QStringLiteral(
        "Promise.all([Notification.requestPermission(), new Promise((done) => "
        "navigator.geolocation.getCurrentPosition(() => done('granted'), () => done('refused')))])"
        ".then((answers) => answers.join(' '))");
    const QString answers = evaluate(hiddenBrowser(), asked).toString();
    QVERIFY2(!answers.contains(QLatin1String("granted")), qPrintable(answers));
    QCOMPARE(visibleWindowCount(), windowsBefore);
}

// Real X input: the window gets the focus, a click puts it into the page, then the key.
void BrowserTest::pressKeyInWindow(const QString& key)
{
    QProcess search;
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--class"), QStringLiteral("chromium")});
    search.waitForFinished();
    const QString window =
        QString::fromLatin1(search.readAllStandardOutput().trimmed().split('\n').last());
    QVERIFY(!window.isEmpty());
    const QStringList steps[] = {
        {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window},
        {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("400"),
         QStringLiteral("400"), QStringLiteral("click"), QStringLiteral("1")},
        {QStringLiteral("key"), key},
    };
    for (const QStringList& arguments : steps)
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), arguments), 0);
}

void BrowserTest::onlyTheUsersStepKeysReachTheProgram()
{
    QList<StepKey> pressed;
    m_main->watchStepKeys([&pressed](StepKey key) { pressed << key; });
    m_main->setTop(78);
    m_main->setLeft(0);
    m_main->setWidth(800);
    m_main->setHeight(600);
    m_main->Navigate(m_server->url(QStringLiteral("/page/keys")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    pressKeyInWindow(QStringLiteral("F9"));
    QTRY_COMPARE(pressed, QList<StepKey>{StepKey::Right});

    // The next document has the listener too, and none of its script's keys count.
    m_main->Navigate(m_server->url(QStringLiteral("/forged-keys")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QTRY_COMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
                 QStringLiteral("forged"));
    pressKeyInWindow(QStringLiteral("F8"));
    QTRY_COMPARE(pressed.size(), 2);
    QCOMPARE(pressed, (QList<StepKey>{StepKey::Right, StepKey::Left}));
    QCOMPARE(m_main->LocationURL(), m_server->url(QStringLiteral("/forged-keys")));
}

namespace {
// The failure number that `operation` throws, 0 when it succeeds.
int failureOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const Failure& failure) {
        return failure.number();
    }
    return 0;
}

enum class Loss { WindowClosed, TabClosed, BrowserKilled };
} // namespace

void BrowserTest::goneWindowFailsNextOperation_data()
{
    QTest::addColumn<int>("loss");
    QTest::addColumn<bool>("hiddenSurvives");
    QTest::newRow("window closed") << int(Loss::WindowClosed) << false;
    QTest::newRow("tab closed, window kept") << int(Loss::TabClosed) << true;
    QTest::newRow("browser killed") << int(Loss::BrowserKilled) << false;
}

void BrowserTest::goneWindowFailsNextOperation()
{
    QFETCH(int, loss);
    QFETCH(bool, hiddenSurvives);
    QTemporaryDir profile;
    ChromiumBrowserFactory factory(QString(), profile.path());
    auto main = factory.create();
    auto hidden = factory.create();
    auto& window = static_cast<ChromiumBrowser&>(*main);
    ChromiumConnection& connection = window.connection();
    const pid_t group = connection.processGroup();
    if (Loss(loss) == Loss::TabClosed)
        connection.command(QStringLiteral("Target.createTarget"),
                           {{QStringLiteral("url"), QStringLiteral("about:blank")}});
    if (Loss(loss) == Loss::BrowserKilled)
        ::kill(-group, SIGKILL);
    else
        connection.command(QStringLiteral("Target.closeTarget"),
                           {{QStringLiteral("targetId"), window.targetId()}});
    QTRY_VERIFY_WITH_TIMEOUT(!connection.hasTarget(window.targetId()), 15000);
    // Without its last window the browser ends, the hidden target with it.
    if (!hiddenSurvives)
        QTRY_VERIFY_WITH_TIMEOUT(!connection.isAlive(), 15000);

    const QString link = m_server->url(QStringLiteral("/page/lost"));
    QCOMPARE(failureOf([&] { main->Navigate(link); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { main->LocationURL(); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { main->setTop(78); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { main->setVisible(true); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { hidden->Navigate(link); }),
             hiddenSurvives ? 0 : FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { main->Quit(); }), FailureNumber::ObjectDisconnected);
    // Killed processes take a moment of the kernel's to be gone from the process table.
    QTRY_COMPARE_WITH_TIMEOUT(browserProcesses(group, profile.path()), QList<pid_t>(), 10000);
}

void BrowserTest::quitLeavesNoProcess()
{
    QTemporaryDir profile;
    ChromiumBrowserFactory factory(QString(), profile.path());
    auto main = factory.create();
    auto hidden = factory.create();
    hidden->Navigate(m_server->url(QStringLiteral("/page/before-quit")));
    const pid_t group = factory.connection()->processGroup();
    QVERIFY(!browserProcesses(group, profile.path()).isEmpty());
    main->Quit();
    QTRY_COMPARE_WITH_TIMEOUT(browserProcesses(group, profile.path()), QList<pid_t>(), 10000);
    QCOMPARE(failureOf([&] { main->Navigate(QString()); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { hidden->Navigate(QString()); }), FailureNumber::ObjectDisconnected);
}

void BrowserTest::browserThatCannotStartFailsCreation_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QByteArray>("script"); // written to `executable` when given
    const QString dir = m_home.path();
    QTest::newRow("missing") << QStringLiteral("/nonexistent/chromium") << QByteArray();
    QTest::newRow("not executable") << dir + QStringLiteral("/plain-file") << QByteArray("x");
    QTest::newRow("ends at once") << dir + QStringLiteral("/ends")
                                  << QByteArray("#!/bin/sh\nexit 3\n");
    QTest::newRow("never answers")
        << dir + QStringLiteral("/silent") << QByteArray("#!/bin/sh\nexec sleep 60\n");
}

void BrowserTest::browserThatCannotStartFailsCreation()
{
    QFETCH(QString, executable);
    QFETCH(QByteArray, script);
    if (!script.isEmpty()) {
        QFile file(executable);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(script);
        file.close();
        if (script.startsWith("#!"))
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QTemporaryDir profile;
    ChromiumBrowserFactory factory(executable, profile.path());
    QCOMPARE(failureOf([&] { factory.create(); }), FailureNumber::CannotCreateObject);
}

void BrowserTest::profileHeldByAnotherCopyGivesTemporaryOne()
{
    ChromiumBrowserFactory second(QString(), m_profileDir);
    auto main = second.create();
    static_cast<ChromiumBrowser&>(*main).watchLoadEvents();
    const QString temporary = second.connection()->profile().path();
    QVERIFY(second.connection()->profile().isTemporary());
    QVERIFY(temporary != m_profileDir);
    QVERIFY(QFileInfo(temporary).isDir());
    main->Navigate(m_server->url(QStringLiteral("/page/second-copy")));
    QVERIFY(static_cast<ChromiumBrowser&>(*main).waitForLoadEvent(10000));
    main->Quit();
    QVERIFY(!QFileInfo::exists(temporary));
    // The first copy goes on undisturbed.
    m_main->Navigate(m_server->url(QStringLiteral("/page/first-copy")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
}

void BrowserTest::killedProgramLeavesNoBrowser_data()
{
    QTest::addColumn<bool>("profileHeld");
    QTest::newRow("own profile") << false;
    QTest::newRow("temporary profile") << true;
}

void BrowserTest::killedProgramLeavesNoBrowser()
{
    QFETCH(bool, profileHeld);
    QTemporaryDir ownProfile;
    const QString held = QStringLiteral("/page/held-") + QString::number(profileHeld);
    QProcess holder;
    holder.start(QCoreApplication::applicationDirPath() + QStringLiteral("/browser_holder"),
                 {profileHeld ? m_profileDir : ownProfile.path(), m_server->url(held)});
    QVERIFY(holder.waitForReadyRead(30000));
    const QList<QByteArray> ready = holder.readAllStandardOutput().trimmed().split(' ');
    const pid_t group = pid_t(ready.value(0).toInt());
    const QString profile = QString::fromLocal8Bit(ready.value(1));
    QVERIFY2(group > 0, ready.value(0).constData());
    QCOMPARE(profile != ownProfile.path(), profileHeld);
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requestCount(held) > 0, 15000);
    QVERIFY(!browserProcesses(group, profile).isEmpty());

    holder.kill(); // SIGKILL: nothing of the program runs any more
    QVERIFY(holder.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(browserProcesses(group, profile).isEmpty(), 20000);
    if (profileHeld)
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(profile), 10000);
}

QTEST_GUILESS_MAIN(BrowserTest)
#include "test_browser.moc"
