// The browser pair on the real Chromium, over its pipe, against pages that the test serves
// itself on 127.0.0.1. Needs an X display (xvfb-run).
#include "BrowserPair.h"
#include "BrowserProcesses.h"
#include "LocalHttpServer.h"
#include "browser/ahead/AheadBrowser.h"
#include "browser/ahead/KeptDocumentServer.h"
#include "browser/ahead/KeptDocuments.h"
#include "browser/ahead/LoadAhead.h"
#include "browser/chromium/BrowserProfile.h"
#include "browser/chromium/ChromiumBrowserFactory.h"
#include "browser/chromium/ChromiumProcess.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/devtools/DevToolsPipe.h"
#include "browser/window/WindowBrowser.h"
#include "platform/Failure.h"

#include <QDateTime>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
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

// Hostile pages for the hidden instance. Every script first sends a beacon to /beacon/..., so
// that a script that ran shows in the server's requests. Frames named with ?port= come from
// another site (localhost against 127.0.0.1).
HttpResponse noStatePrefetchPage(const QString& path)
{
    HttpResponse response;
    const QString name = path.section(QLatin1Char('?'), 0, 0).mid(4);
    const QByteArray port = path.section(QLatin1String("port="), 1).toLatin1();
    auto beacon = [&](const char* script) {
        return "<script>navigator.sendBeacon('/beacon/" + name.toLatin1() + "');" +
               QByteArray(script) + "</script>";
    };
    auto crossSiteFrame = [&](const char* inner) {
        return page(name.toLatin1(),
                    "<iframe src=\"http://localhost:" + port + "/np/" + inner + "\"></iframe>");
    };
    auto sameSiteFrame = [&](const char* inner) {
        return page(name.toLatin1(), "<iframe src=\"/np/" + QByteArray(inner) + "\"></iframe>");
    };
    if (name == QLatin1String("location-mailto")) {
        response.body = page("mailto", beacon("location = 'mailto:someone@example.org'"));
    } else if (name == QLatin1String("frame-mailto")) {
        response.body = page("mailto", "<iframe src=\"mailto:someone@example.org\"></iframe>");
    } else if (name == QLatin1String("redirect-mailto")) {
        response.status = 302;
        response.headers = {{"Location", "mailto:someone@example.org"}};
    } else if (name == QLatin1String("refresh-mailto")) {
        response.body = page("refresh", "<meta http-equiv=refresh "
                                        "content=\"0; url=mailto:someone@example.org\">");
    } else if (name == QLatin1String("frame-clicks-download")) {
        response.body = crossSiteFrame("inner-clicks-download");
    } else if (name == QLatin1String("same-site-frame-clicks-download")) {
        response.body = sameSiteFrame("inner-clicks-download");
    } else if (name == QLatin1String("same-site-frame-goes-to-attachment")) {
        response.body = sameSiteFrame("inner-goes-to-attachment");
    } else if (name == QLatin1String("inner-clicks-download")) {
        response.body = page("inner", "<a id=a href=\"/attachment\" download>get</a>" +
                                          beacon("document.getElementById('a').click()"));
    } else if (name == QLatin1String("frame-goes-to-attachment")) {
        response.body = crossSiteFrame("inner-goes-to-attachment");
    } else if (name == QLatin1String("inner-goes-to-attachment")) {
        response.body = page("inner", beacon("location = '/attachment'"));
    } else if (name == QLatin1String("busy")) {
        response.body =
            page("busy", beacon("const end = Date.now() + 60000; while (Date.now() < end) {}"));
    } else if (name == QLatin1String("binary.txt")) {
        response.contentType = "text/plain";
        for (int i = 0; i < 4096; ++i)
            response.body.append(char(i % 256));
    } else if (name == QLatin1String("frame-audio")) {
        response.body = crossSiteFrame("inner-audio");
    } else if (name == QLatin1String("inner-audio")) {
        response.body = page("inner", beacon("const c = new AudioContext(); c.resume();"
                                             "const o = c.createOscillator();"
                                             "o.connect(c.destination); o.start()"));
    } else if (name == QLatin1String("analytics")) {
        response.body = page("analytics", "<img src=\"/np/pixel.svg\">" +
                                              beacon("new Image().src = '/beacon/image';"
                                                     "fetch('/beacon/fetch');"
                                                     "document.title = 'script ran'"));
    } else if (name == QLatin1String("pixel.svg")) {
        response.contentType = "image/svg+xml";
        response.body = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1\" height=\"1\"/>";
    } else {
        response.status = 404;
        response.body = page("missing");
    }
    return response;
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
    } else if (path == QLatin1String("/no-content")) {
        response.status = 204; // the page before stays, and nothing loads
        response.body.clear();
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
    } else if (path.startsWith(QLatin1String("/kept/"))) {
        // Pages whose documents may not be cached; their picture may.
        const QByteArray name = path.toLatin1().mid(6);
        if (name == "picture.svg") {
            response.contentType = "image/svg+xml";
            response.headers = {{"Cache-Control", "max-age=3600"}};
            response.body = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"7\" height=\"5\"/>";
        } else if (name == "cacheable") {
            response.headers = {{"Cache-Control", "max-age=3600"}};
            response.body = page(name, "<script>document.title = 'script ran'</script>");
        } else if (name.startsWith("redirect")) {
            response.status = 302;
            response.headers = {{"Location", "/kept/no-cache-redirected"}};
        } else if (name.startsWith("no-cache-run-")) {
            // Tells the server that its script ran, and writes a cookie when its name says so.
            // One whose name ends in 503 declines its first request: the load ahead.
            static QSet<QByteArray> asked;
            response.status = name.endsWith("503") && !asked.contains(name) ? 503 : 200;
            asked.insert(name);
            response.headers = {{"Cache-Control", "no-cache"}};
            const QByteArray script =
                QByteArray(name.contains("-writes-") ? "document.cookie = 'seen=' + Date.now();"
                                                     : "") +
                "navigator.sendBeacon('/beacon/kept/" + name +
                "'); document.title = 'script ran ' + document.title";
            response.body = page(name, "<script>" + script + "</script>");
        } else {
            response.headers = {
                {"Cache-Control", name.startsWith("no-store") ? "no-store" : "no-cache"},
                {"Set-Cookie", "kept=" + name + "; Path=/"}};
            response.body = page(name, "<img id=picture src=\"/kept/picture.svg\"><script>"
                                       "document.title = 'script ran ' + document.title"
                                       "</script>");
        }
    } else if (path.startsWith(QLatin1String("/leaving/"))) {
        // Logs out in its handler of the event of its name, as it is left.
        const QByteArray event = name.mid(9);
        const QByteArray target = event == "navigate" ? "navigation" : "window";
        response.body = page("leaving", "<script>" + target + ".addEventListener('" + event +
                                            "', () => document.cookie = "
                                            "'session=; Max-Age=0; Path=/')</script>");
    } else if (path.startsWith(QLatin1String("/back/"))) {
        // /back/<Cache-Control>/<name>
        response.headers = {{"Cache-Control", path.section(QLatin1Char('/'), 2, 2).toLatin1()}};
        response.body = page(path.section(QLatin1Char('/'), 3).toLatin1());
    } else if (path.startsWith(QLatin1String("/np/"))) {
        response = noStatePrefetchPage(path);
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
    QStringList arguments = RunningChromium::browserArguments(profile);
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
    return int(visibleBrowserWindows().size());
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
    void hiddenInstanceLoadsLikeNoStatePrefetch();
    void overlongLinkShowsBlankPage();
    void keptDocumentServesTheNextPage();
    void keptDocumentOnlyWhenItMayBeServed_data();
    void keptDocumentOnlyWhenItMayBeServed();
    void windowServedFromKeptDocumentIsABrowser();
    void windowNeverGetsTheSandbox();
    void hiddenInstanceGrantsNoPermission();
    void onlyTheUsersStepKeysReachTheProgram();
    void stepOntoNextLinkShowsItsPrerender_data();
    void stepOntoNextLinkShowsItsPrerender();
    void firstPageComesFirstWithItsStepKeys();
    void shownPageReportsTheEndOfItsLoad();
    void unattendedStepSavesNoDownload_data();
    void unattendedStepSavesNoDownload();
    void stepBackShowsThePageBeforeFromHistory_data();
    void stepBackShowsThePageBeforeFromHistory();
    void goneWindowFailsNextOperation_data();
    void goneWindowFailsNextOperation();
    void quitLeavesNoProcess();
    void browserThatCannotStartFailsCreation_data();
    void browserThatCannotStartFailsCreation();
    void profileHeldByAnotherCopyGivesTemporaryOne();
    void killedProgramLeavesNoBrowser_data();
    void killedProgramLeavesNoBrowser();

private:
    WindowBrowser& mainBrowser() { return m_pair->window(); }
    AheadBrowser& hiddenBrowser() { return m_pair->hiddenBrowser(); }
    QJsonObject windowBounds(WindowBrowser& browser);
    QJsonValue evaluate(auto& browser, const QString& expression);
    void closeOtherPages(DevToolsConnection& connection);
    void pressKeyInWindow(const QString& key, WindowBrowser* window = nullptr);
    QStringList strayDownloads() const;
    void loadInHidden(const QString& path);

    QTemporaryDir m_home;
    QString m_profileDir;
    std::unique_ptr<LocalHttpServer> m_server;
    std::optional<BrowserPair> m_pair;
};

void BrowserTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    // Downloads, if any got through, would land in this home's Downloads folder.
    if (const QString why = browserTestUnavailable(m_home.path()); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("Downloads")));
    m_profileDir = m_home.path() + QStringLiteral("/.config/Quillon2/browser-profile");
    QCOMPARE(BrowserProfile::defaultPath(), m_profileDir);
    m_server = std::make_unique<LocalHttpServer>(respond);
    m_pair.emplace(std::make_unique<ChromiumBrowserFactory>());
    QCOMPARE(m_pair->factory->chromium()->profile().path(), m_profileDir);
}

void BrowserTest::cleanupTestCase()
{
    m_pair.reset();
}

QJsonObject BrowserTest::windowBounds(WindowBrowser& browser)
{
    return browser.connection()
        .command(QStringLiteral("Browser.getWindowForTarget"),
                 {{QStringLiteral("targetId"), browser.targetId()}})
        .value(QStringLiteral("bounds"))
        .toObject();
}

QJsonValue BrowserTest::evaluate(auto& browser, const QString& expression)
{
    const QJsonObject reply =
        browser.connection().command(QStringLiteral("Runtime.evaluate"),
                                     {{QStringLiteral("expression"), expression},
                                      {QStringLiteral("awaitPromise"), true},
                                      {QStringLiteral("returnByValue"), true}},
                                     browser.sessionId());
    return reply.value(QStringLiteral("result")).toObject().value(QStringLiteral("value"));
}

// Later cases press keys in the window: no popup of an earlier one may take them.
void BrowserTest::closeOtherPages(DevToolsConnection& connection)
{
    const QJsonArray targets = connection.command(QStringLiteral("Target.getTargets"))
                                   .value(QStringLiteral("targetInfos"))
                                   .toArray();
    for (const QJsonValue& value : targets) {
        const QJsonObject target = value.toObject();
        const QString id = target.value(QStringLiteral("targetId")).toString();
        if (target.value(QStringLiteral("type")).toString() == QLatin1String("page") &&
            id != mainBrowser().targetId())
            connection.command(QStringLiteral("Target.closeTarget"),
                               {{QStringLiteral("targetId"), id}});
    }
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
    auto& window = static_cast<WindowBrowser&>(*main);
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
    m_pair->main->setTop(top);
    m_pair->main->setLeft(left);
    m_pair->main->setWidth(width);
    m_pair->main->setHeight(height);
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
    m_pair->main->Navigate(m_server->url(QStringLiteral("/redirect")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_pair->main->LocationURL(), m_server->url(QStringLiteral("/final")));
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
    m_pair->main->Navigate(m_server->url(QStringLiteral("/page/before")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    m_pair->main->Navigate(link);
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_pair->main->LocationURL(), expected);
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
    m_pair->main->Navigate(m_server->url(QStringLiteral("/page/reading")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    // The browser's own URL parser takes the spelling (after the link reader's trim) for script.
    const QString quoted =
        QString::fromUtf8(QJsonDocument(QJsonArray{link.trimmed()}).toJson(QJsonDocument::Compact));
    QCOMPARE(
        evaluate(mainBrowser(), QStringLiteral("new URL(%1[0]).protocol").arg(quoted)).toString(),
        QStringLiteral("javascript:"));
    m_pair->main->Navigate(link);
    QVERIFY2(mainBrowser().waitForLoadEvent(10000), "no blank page");
    QCOMPARE(m_pair->main->LocationURL(), QStringLiteral("about:blank"));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(), QString());
    // The window goes on as before.
    m_pair->main->Navigate(m_server->url(QStringLiteral("/page/after-script")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
             QStringLiteral("after-script"));
}

void BrowserTest::hiddenInstanceLoadsOutOfSight()
{
    const int windowsBefore = visibleWindowCount();
    const QString path = QStringLiteral("/page/ahead");
    m_pair->hidden->Navigate(m_server->url(path));
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_server->requestCount(path), 1);
    QCOMPARE(m_pair->hidden->LocationURL(), m_server->url(path));
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
    // No script runs in the hidden instance: the pages keep their own titles.
    QTest::newRow("alert") << QStringLiteral("/alert") << QStringLiteral("alert");
    QTest::newRow("confirm") << QStringLiteral("/confirm") << QStringLiteral("confirm");
    QTest::newRow("prompt") << QStringLiteral("/prompt") << QStringLiteral("prompt");
    QTest::newRow("beforeunload") << QStringLiteral("/beforeunload") << QString();
    QTest::newRow("popups") << QStringLiteral("/popup") << QString();
}

void BrowserTest::hiddenInstanceKeepsPageEffectsFromTheUser()
{
    QFETCH(QString, path);
    QFETCH(QString, titleAfter);
    const int windowsBefore = visibleWindowCount();
    if (!titleAfter.isEmpty()) {
        m_pair->hidden->Navigate(m_server->url(path));
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
    m_pair->hidden->Navigate(m_server->url(QStringLiteral("/sound")));
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    QTest::qWait(1000);
    const QString audible =
        QStringLiteral("[...document.querySelectorAll('audio')]"
                       ".filter((m) => !m.paused && !m.muted && m.volume > 0).length");
    QCOMPARE(evaluate(hiddenBrowser(), audible).toInt(-1), 0);
    // The page's script never ran: no audio context, no tone of its own.
    QCOMPARE(
        evaluate(hiddenBrowser(), QStringLiteral("typeof context + ' ' + typeof tone")).toString(),
        QStringLiteral("undefined undefined"));
}

namespace {
// Every file under `root`, less those under `except`.
QStringList filesUnder(const QString& root, const QString& except)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.startsWith(except))
            files.append(path);
    }
    files.sort();
    return files;
}

// CPU seconds that the browser's renderers have used so far.
double rendererCpuSeconds(DevToolsConnection& connection)
{
    const QJsonArray processes = connection.command(QStringLiteral("SystemInfo.getProcessInfo"))
                                     .value(QStringLiteral("processInfo"))
                                     .toArray();
    double seconds = 0;
    for (const QJsonValue& process : processes) {
        if (process[QStringLiteral("type")].toString() == QLatin1String("renderer"))
            seconds += process[QStringLiteral("cpuTime")].toDouble();
    }
    return seconds;
}

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

void BrowserTest::hiddenInstanceLoadsLikeNoStatePrefetch()
{
    // A pair of its own, in a home of its own and with stand-ins for the desktop's launchers
    // first on PATH that only note that they were run.
    QTemporaryDir home;
    QTemporaryDir tools;
    QTemporaryDir profile;
    const QString launched = tools.path() + QStringLiteral("/launched.log");
    for (const char* name : {"xdg-open", "xdg-email", "gio", "x-www-browser"}) {
        QFile tool(tools.path() + QStringLiteral("/bin/") + QString::fromLatin1(name));
        QVERIFY(QDir(tools.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(tool.open(QIODevice::WriteOnly));
        tool.write("#!/bin/sh\necho \"$0 $*\" >> '" + launched.toUtf8() + "'\n");
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("HOME", home.path().toUtf8());
    qputenv("PATH", (tools.path() + QStringLiteral("/bin:")).toUtf8() + oldPath);
    ChromiumBrowserFactory factory(QString(), profile.path());
    auto main = factory.create();
    auto hidden = factory.create();
    qputenv("HOME", oldHome);
    qputenv("PATH", oldPath);
    auto& window = static_cast<WindowBrowser&>(*main);
    auto& ahead = static_cast<AheadBrowser&>(*hidden);
    DevToolsConnection& connection = window.connection();
    window.watchLoadEvents();
    // Another origin than the pages loaded ahead: the window's own prerender, which runs a
    // page's scripts as the browser's prerender does, is not what this case is about.
    QUrl reading(m_server->url(QStringLiteral("/page/reading")));
    reading.setHost(QStringLiteral("localhost"));
    main->Navigate(reading.toString());
    QVERIFY(window.waitForLoadEvent(10000));
    hidden->Navigate(m_server->url(QStringLiteral("/page/first")));
    QVERIFY(ahead.waitForLoadEvent(10000));
    QTest::qWait(500);
    const QStringList filesBefore = filesUnder(home.path(), profile.path());
    const int attachmentsBefore = m_server->requestCount(QStringLiteral("/attachment"));
    const int windowsBefore = visibleWindowCount();
    const QString port = QString::number(QUrl(m_server->url({})).port());

    const QStringList rows{QStringLiteral("location-mailto"),
                           QStringLiteral("frame-mailto"),
                           QStringLiteral("redirect-mailto"),
                           QStringLiteral("refresh-mailto"),
                           QStringLiteral("frame-clicks-download"),
                           QStringLiteral("frame-goes-to-attachment"),
                           QStringLiteral("same-site-frame-clicks-download"),
                           QStringLiteral("same-site-frame-goes-to-attachment"),
                           QStringLiteral("busy"),
                           QStringLiteral("binary.txt"),
                           QStringLiteral("frame-audio"),
                           QStringLiteral("analytics")};
    for (const QString& row : rows) {
        const QByteArray what = row.toUtf8();
        const QString path = QStringLiteral("/np/") + row + QStringLiteral("?port=") + port;
        hidden->Navigate(m_server->url(path));
        QTRY_VERIFY2(m_server->requestCount(path) > 0, what);
        // Frames of the same site load (sandboxed like their page); those of another site are
        // not loaded at all once the browser has been handed the page (measured, Chromium 156).
        if (row.startsWith(QLatin1String("same-site-frame-"))) {
            const QString inner = QStringLiteral("/np/inner-") + row.mid(16);
            QTRY_VERIFY2(m_server->requestCount(inner) > 0,
                         what + " loads its frame " +
                             m_server->requestedPaths().join(QLatin1Char(' ')).toUtf8());
        }
        QTest::qWait(1000);
        // The hidden renderer is idle once the page has loaded.
        const double cpuBefore = rendererCpuSeconds(connection);
        QTest::qWait(1000);
        const double busy = rendererCpuSeconds(connection) - cpuBefore;
        QVERIFY2(busy < 0.3, what + " keeps a renderer busy: " + QByteArray::number(busy));
        const QString after = QStringLiteral("/page/after-") + row;
        hidden->Navigate(m_server->url(after));
        QVERIFY2(ahead.waitForLoadEvent(10000), what + " holds the hidden instance");
        QCOMPARE(hidden->LocationURL(), m_server->url(after));
        QVERIFY2(readAll(launched).isEmpty(), what + " launched " + readAll(launched).toUtf8());
        QVERIFY2(filesUnder(home.path(), profile.path()) == filesBefore,
                 what + ": " +
                     filesUnder(home.path(), profile.path()).join(QLatin1Char(' ')).toUtf8() +
                     " before: " + filesBefore.join(QLatin1Char(' ')).toUtf8());
        QCOMPARE(pageTargetCount(connection), 1);
        QCOMPARE(visibleWindowCount(), windowsBefore);
        const QStringList beacons =
            m_server->requestedPaths().filter(QRegularExpression(QStringLiteral("^/beacon/")));
        QVERIFY2(beacons.isEmpty(), what + ": " + beacons.join(QLatin1Char(' ')).toUtf8());
    }
    // What the page names itself is loaded ahead all the same.
    QCOMPARE(m_server->requestCount(QStringLiteral("/np/pixel.svg")), 1);
    QCOMPARE(m_server->requestCount(QStringLiteral("/attachment")), attachmentsBefore);

    // The visible window is a browser as before: the page's script runs and sends its beacons,
    // and a download that a script starts is saved.
    main->Navigate(m_server->url(QStringLiteral("/np/analytics")));
    QVERIFY(window.waitForLoadEvent(10000));
    QCOMPARE(evaluate(window, QStringLiteral("document.title")).toString(),
             QStringLiteral("script ran"));
    QTRY_VERIFY(m_server->requestCount(QStringLiteral("/beacon/analytics")) == 1);
    QTRY_VERIFY(m_server->requestCount(QStringLiteral("/beacon/fetch")) == 1);
    main->Quit();
    // Nothing in the download history of the profile.
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"),
                 {QStringLiteral("-readonly"), profile.path() + QStringLiteral("/Default/History"),
                  QStringLiteral("select count(*) from downloads")});
    QVERIFY(sqlite.waitForFinished());
    QCOMPARE(sqlite.readAllStandardOutput().trimmed(), QByteArray("0"));
    QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/Downloads")));
}

void BrowserTest::overlongLinkShowsBlankPage()
{
    m_pair->main->Navigate(m_server->url(QStringLiteral("/page/before-long")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    // 3 MB: more than the browser takes.
    const QString link =
        m_server->url(QStringLiteral("/page/long?") + QString(3 * 1024 * 1024, QLatin1Char('a')));
    m_pair->main->Navigate(link);
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_pair->main->LocationURL(), QStringLiteral("about:blank"));
}

void BrowserTest::keptDocumentServesTheNextPage()
{
    const QString path = QStringLiteral("/kept/no-cache-next");
    const QString link = m_server->url(path);
    m_pair->hidden->Navigate(link);
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_server->requestCount(path), 1);
    KeptDocumentServer& server = mainBrowser().chromium().ahead().keptDocumentServer();
    const int servedBefore = server.servedCount();
    m_pair->main->Navigate(link + QStringLiteral("#part"));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    // No second request: the hidden instance's load was served.
    QCOMPARE(m_server->requestCount(path), 1);
    QCOMPARE(server.servedCount(), servedBefore + 1);
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
    m_pair->main->Navigate(m_server->url(QStringLiteral("/page/between")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    m_pair->main->Navigate(link);
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_server->requestCount(path), 2);
}

void BrowserTest::keptDocumentOnlyWhenItMayBeServed_data()
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

void BrowserTest::keptDocumentOnlyWhenItMayBeServed()
{
    QFETCH(QString, loadedAhead);
    QFETCH(QString, shown);
    QFETCH(QString, how);
    KeptDocuments& kept = mainBrowser().chromium().ahead().keptDocuments();
    m_pair->hidden->Navigate(m_server->url(loadedAhead));
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    const int before = m_server->requestCount(shown);
    if (how == QLatin1String("older")) {
        const qint64 later = KeptDocuments::MaxAgeMs + 1000;
        kept.setClock([later] { return QDateTime::currentMSecsSinceEpoch() + later; });
    }
    if (how == QLatin1String("reload")) {
        // Shown once from the hidden load, then reloaded by the user.
        m_pair->main->Navigate(m_server->url(shown));
        QVERIFY(mainBrowser().waitForLoadEvent(10000));
        QCOMPARE(m_server->requestCount(shown), before);
        mainBrowser().connection().command(QStringLiteral("Page.reload"), {},
                                           mainBrowser().sessionId());
        QTRY_COMPARE(m_server->requestCount(shown), before + 1);
        return;
    } else {
        m_pair->main->Navigate(m_server->url(shown));
    }
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    kept.setClock([] { return QDateTime::currentMSecsSinceEpoch(); });
    QCOMPARE(m_server->requestCount(shown), before + 1);
}

void BrowserTest::windowServedFromKeptDocumentIsABrowser()
{
    // A page served from the hidden load, then what a browser does from there.
    const QString link = m_server->url(QStringLiteral("/kept/no-cache-start"));
    m_pair->hidden->Navigate(link);
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    m_pair->main->Navigate(link);
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(m_server->requestCount(QStringLiteral("/kept/no-cache-start")), 1);
    DevToolsConnection& connection = mainBrowser().connection();
    // Popups open.
    const int pages = pageTargetCount(connection);
    connection.command(
        QStringLiteral("Runtime.evaluate"),
        {{QStringLiteral("expression"), QStringLiteral("window.open('/page/popup-of-window'); 1")},
         {QStringLiteral("userGesture"), true}},
        mainBrowser().sessionId());
    QTRY_COMPARE(pageTargetCount(connection), pages + 1);
    QTRY_VERIFY(m_server->requestCount(QStringLiteral("/page/popup-of-window")) == 1);
    closeOtherPages(connection);
    QTRY_COMPARE(pageTargetCount(connection), pages);
    // Dialogs show: the window's alert is there to be answered.
    bool alertOpen = false;
    auto listening = std::make_unique<QObject>();
    connection.subscribe("Page.javascriptDialogOpening", listening.get(),
                         [&](const DevToolsEvent&) { alertOpen = true; });
    m_pair->main->Navigate(m_server->url(QStringLiteral("/alert")));
    QTRY_VERIFY_WITH_TIMEOUT(alertOpen, 10000);
    listening.reset();
    connection.command(QStringLiteral("Page.handleJavaScriptDialog"),
                       {{QStringLiteral("accept"), true}}, mainBrowser().sessionId());
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
             QStringLiteral("dismissed"));
    // Downloads are saved.
    m_pair->main->Navigate(m_server->url(QStringLiteral("/download-attribute")));
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo::exists(m_home.path() + QStringLiteral("/Downloads/quillon-download.txt")),
        10000);
    QFile::remove(m_home.path() + QStringLiteral("/Downloads/quillon-download.txt"));
}

void BrowserTest::windowNeverGetsTheSandbox()
{
    // A cacheable page loaded ahead: the window gets it first from the hidden load, then from
    // the browser's cache; both times with the server's own headers, so its script runs.
    const QString path = QStringLiteral("/kept/cacheable");
    m_pair->hidden->Navigate(m_server->url(path));
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    QCOMPARE(evaluate(hiddenBrowser(), QStringLiteral("document.title")).toString(),
             QStringLiteral("cacheable"));
    for (int visit = 0; visit < 2; ++visit) {
        m_pair->main->Navigate(m_server->url(path));
        QVERIFY(mainBrowser().waitForLoadEvent(10000));
        QCOMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
                 QStringLiteral("script ran"));
        m_pair->main->Navigate(m_server->url(QStringLiteral("/page/between-visits")));
        QVERIFY(mainBrowser().waitForLoadEvent(10000));
    }
    QCOMPARE(m_server->requestCount(path), 1);
}

void BrowserTest::hiddenInstanceGrantsNoPermission()
{
    const int windowsBefore = visibleWindowCount();
    loadInHidden(QStringLiteral("/permission"));
    m_pair->hidden->Navigate(m_server->url(QStringLiteral("/permission")));
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
    // The page's script never ran, so it asked for nothing; nothing was granted either way.
    QVERIFY(evaluate(hiddenBrowser(), QStringLiteral("Notification.permission")).toString() !=
            QLatin1String("granted"));
    QCOMPARE(visibleWindowCount(), windowsBefore);
}

// Real X input: the window gets the focus, a click puts it into the page, then the key.
void BrowserTest::pressKeyInWindow(const QString& key, WindowBrowser* window)
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

void BrowserTest::onlyTheUsersStepKeysReachTheProgram()
{
    QList<StepKey> pressed;
    m_pair->main->watchStepKeys([&pressed](StepKey key) { pressed << key; });
    m_pair->main->setTop(78);
    m_pair->main->setLeft(0);
    m_pair->main->setWidth(800);
    m_pair->main->setHeight(600);
    m_pair->main->Navigate(m_server->url(QStringLiteral("/page/keys")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    pressKeyInWindow(QStringLiteral("F9"));
    QTRY_COMPARE(pressed, QList<StepKey>{StepKey::Right});

    // The next document has the listener too, and none of its script's keys count.
    m_pair->main->Navigate(m_server->url(QStringLiteral("/forged-keys")));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QTRY_COMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
                 QStringLiteral("forged"));
    pressKeyInWindow(QStringLiteral("F8"));
    QTRY_COMPARE(pressed.size(), 2);
    QCOMPARE(pressed, (QList<StepKey>{StepKey::Right, StepKey::Left}));
    QCOMPARE(m_pair->main->LocationURL(), m_server->url(QStringLiteral("/forged-keys")));
}

void BrowserTest::stepOntoNextLinkShowsItsPrerender_data()
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
    QTest::newRow("another origin") << "localhost"
                                    << "" << false;
}

void BrowserTest::stepOntoNextLinkShowsItsPrerender()
{
    QFETCH(QString, host);
    QFETCH(QString, change);
    QFETCH(bool, prerendered);
    const bool sameOrigin = host == QLatin1String("127.0.0.1");
    const bool leaving = change == QLatin1String("pagehide") || change == QLatin1String("navigate");
    KeptDocuments& kept = mainBrowser().chromium().ahead().keptDocuments();
    qint64 shift = 0;
    kept.setClock([&shift] { return QDateTime::currentMSecsSinceEpoch() + shift; });
    const auto restore =
        qScopeGuard([&kept] { kept.setClock([] { return QDateTime::currentMSecsSinceEpoch(); }); });
    QList<StepKey> pressed;
    m_pair->main->watchStepKeys([&pressed](StepKey key) { pressed << key; });
    m_pair->main->Navigate(m_server->url(QStringLiteral("/leaving/") + change));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
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
                           mainBrowser().sessionId());
    };
    cookie("Network.setCookie", "session", false);
    m_pair->hidden->Navigate(link);
    QVERIFY(hiddenBrowser().waitForLoadEvent(10000));
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
        shift = KeptDocuments::MaxAgeMs + 1000;
    // Nothing keeps running for a page that can no longer be shown.
    if (change == QLatin1String("expired") || change == QLatin1String("login"))
        QTRY_VERIFY(targets.isEmpty());
    const QString pageBefore = mainBrowser().targetId();

    m_pair->main->Navigate(link);

    QTRY_COMPARE(m_pair->main->LocationURL(), link);
    QTRY_COMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
                 QStringLiteral("script ran ") + next.path().section(QLatin1Char('/'), -1));
    // The prerender became the window's page, answered from the copy loaded ahead.
    QCOMPARE(mainBrowser().targetId() != pageBefore, prerendered);
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
    m_pair->main->Navigate(m_server->url(QStringLiteral("/page/after-step-") + host));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    QTRY_COMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
                 QStringLiteral("after-step-") + host);
}

// A fresh browser driven as the toolbar's start-up drives it, every set-up command sent without
// waiting: the first page (from a slow site) has the step keys all the same, and the hidden
// instance asks for the next link only once that page and its image have loaded.
void BrowserTest::firstPageComesFirstWithItsStepKeys()
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

void BrowserTest::stepBackShowsThePageBeforeFromHistory_data()
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

void BrowserTest::stepBackShowsThePageBeforeFromHistory()
{
    QFETCH(QString, before);
    QFETCH(QString, back);
    QFETCH(bool, fromHistory);
    m_pair->main->Navigate(m_server->url(before));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    // Set on the document itself: only that document, kept whole, still has it.
    evaluate(mainBrowser(), QStringLiteral("window.shownBefore = true"));
    m_pair->main->Navigate(m_server->url(QStringLiteral("/page/after-") + QTest::currentDataTag()));
    QVERIFY(mainBrowser().waitForLoadEvent(10000));
    const int requests = m_server->requestCount(back);

    m_pair->main->NavigateBack(m_server->url(back));

    QTRY_COMPARE(m_pair->main->LocationURL(), m_server->url(back));
    QTRY_COMPARE(evaluate(mainBrowser(), QStringLiteral("document.title")).toString(),
                 back.section(QLatin1Char('/'), 3));
    QCOMPARE(evaluate(mainBrowser(), QStringLiteral("window.shownBefore === true")).toBool(),
             fromHistory);
    QCOMPARE(m_server->requestCount(back), requests + (fromHistory ? 0 : 1));
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

void BrowserTest::shownPageReportsTheEndOfItsLoad()
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
        m_pair->main->Navigate(m_server->url(QStringLiteral("/page/before-load")));
        QVERIFY(mainBrowser().waitForLoadEvent(10000));
        QTest::qWait(300); // its frame stops loading just after its load event
        *loads = 0;
        m_pair->main->watchPageLoads([loads] { ++*loads; });
        // A late watcher hears of the load that is over, once.
        QCOMPARE(std::exchange(*loads, 0), 1);
        m_pair->main->Navigate(link);
        QTRY_VERIFY2_WITH_TIMEOUT(*loads > 0, qPrintable(link), 10000);
    }
}

void BrowserTest::unattendedStepSavesNoDownload_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("saved");
    QTest::newRow("attachment") << QStringLiteral("/attachment")
                                << QStringLiteral("quillon-download.txt");
    QTest::newRow("a type that is saved")
        << QStringLiteral("/archive.zip") << QStringLiteral("archive.zip");
}

// Twice onto the link, as two rounds of the timer; then the user's own step saves it.
void BrowserTest::unattendedStepSavesNoDownload()
{
    QFETCH(QString, path);
    QFETCH(QString, saved);
    const QString link = m_server->url(path);
    const QString before = m_server->url(QStringLiteral("/page/before-download"));
    QStringList passedOver;
    m_pair->main->watchPassedOverDownloads(
        [&passedOver](const QString& url) { passedOver << url; });
    const auto stopWatching = qScopeGuard([this] { m_pair->main->watchPassedOverDownloads({}); });
    for (int round = 1; round <= 2; ++round) {
        m_pair->main->Navigate(before);
        QVERIFY(mainBrowser().waitForLoadEvent(10000));
        m_pair->main->NavigateUnattended(link);
        QTRY_COMPARE_WITH_TIMEOUT(passedOver.size(), round, 10000);
    }
    QCOMPARE(passedOver, (QStringList{link, link}));
    QCOMPARE(m_pair->main->LocationURL(), before);
    QTRY_COMPARE(strayDownloads(), QStringList());
    m_pair->main->Navigate(link);
    const QString file = m_home.path() + QStringLiteral("/Downloads/") + saved;
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(file), 10000);
    QCOMPARE(passedOver.size(), 2);
    QFile::remove(file);
}

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
    auto& window = static_cast<WindowBrowser&>(*main);
    DevToolsConnection& connection = window.connection();
    const pid_t group = window.chromium().processGroup();
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
    const pid_t group = factory.chromium()->processGroup();
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
    static_cast<WindowBrowser&>(*main).watchLoadEvents();
    const QString temporary = second.chromium()->profile().path();
    QVERIFY(second.chromium()->profile().isTemporary());
    QVERIFY(temporary != m_profileDir);
    QVERIFY(QFileInfo(temporary).isDir());
    main->Navigate(m_server->url(QStringLiteral("/page/second-copy")));
    QVERIFY(static_cast<WindowBrowser&>(*main).waitForLoadEvent(10000));
    main->Quit();
    QVERIFY(!QFileInfo::exists(temporary));
    // The first copy goes on undisturbed.
    m_pair->main->Navigate(m_server->url(QStringLiteral("/page/first-copy")));
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
