// What the browser component decides without a browser: the address that a link becomes, which
// responses the hidden instance may load, the profile directory and the browser's arguments.
#include "browser/NavigationUrl.h"
#include "browser/ahead/HiddenResponsePolicy.h"
#include "browser/ahead/HiddenTargetGuard.h"
#include "browser/ahead/KeptDocuments.h"
#include "browser/chromium/BrowserProfile.h"
#include "browser/chromium/ChromiumBrowserFactory.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/ShownPage.h"
#include "browser/window/WindowBrowser.h"
#include "platform/Failure.h"

#include "ScriptedChromium.h"
#include "ShiftedClock.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class BrowserRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void windowSetUpSettles_data();
    void windowSetUpSettles();
    void windowAddressWhileItsPageMoves_data();
    void windowAddressWhileItsPageMoves();
    void linkBecomesAddress_data();
    void linkBecomesAddress();
    void onlyNetworkAddressesLoadAhead_data();
    void onlyNetworkAddressesLoadAhead();
    void anotherSiteOnlyWhenPlain_data();
    void anotherSiteOnlyWhenPlain();
    void scriptAddressesAreRecognised_data();
    void scriptAddressesAreRecognised();
    void keptDocumentMayBeKept_data();
    void keptDocumentMayBeKept();
    void keptDocumentIsServedOnceWithinFiveMinutes();
    void keptDocumentsStayWithinTheirBounds();
    void hiddenDocumentTooLargeToHold();
    void hiddenResponses_data();
    void hiddenResponses();
    void loadAheadTellsItsPurpose_data();
    void loadAheadTellsItsPurpose();
    void keptCookiesStillAnswer_data();
    void keptCookiesStillAnswer();
    void profileInUseIsRecognised_data();
    void profileInUseIsRecognised();
    void unusableProfileGivesTemporaryOne();
    void defaultProfileLivesInConfigHome();
    void argumentsGiveQuietStart();
    void browserIsFoundOnPath_data();
    void browserIsFoundOnPath();
};

void BrowserRulesTest::linkBecomesAddress_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString() << QStringLiteral("about:blank");
    QTest::newRow("blanks only") << QStringLiteral("  ") << QStringLiteral("about:blank");
    QTest::newRow("web address") << QStringLiteral("https://example.org/a?b=c")
                                 << QStringLiteral("https://example.org/a?b=c");
    QTest::newRow("trailing blank")
        << QStringLiteral("http://example.org/ ") << QStringLiteral("http://example.org/");
    QTest::newRow("no scheme") << QStringLiteral("www.example.org/page")
                               << QStringLiteral("http://www.example.org/page");
    QTest::newRow("local path") << QStringLiteral("/home/me/Quillon2/newquillon.htm")
                                << QStringLiteral("file:///home/me/Quillon2/newquillon.htm");
    QTest::newRow("local path with blank")
        << QStringLiteral("/tmp/my page.htm") << QStringLiteral("file:///tmp/my%20page.htm");
    QTest::newRow("file address") << QStringLiteral("file:///tmp/a.htm")
                                  << QStringLiteral("file:///tmp/a.htm");
    QTest::newRow("about") << QStringLiteral("about:blank") << QStringLiteral("about:blank");
    QTest::newRow("host only") << QStringLiteral("example.com")
                               << QStringLiteral("http://example.com");
    QTest::newRow("scheme in capitals")
        << QStringLiteral("HTTPS://example.org/") << QStringLiteral("HTTPS://example.org/");
    QTest::newRow("data") << QStringLiteral("data:text/plain,x")
                          << QStringLiteral("data:text/plain,x");
    // Everything else shows a blank page: nothing is handed to another program, none of the
    // browser's own pages opens, and no link leaves the page before on show.
    for (const char* link :
         {"ftp://example.org/file.txt", "FTP://example.org/", "mailto:someone@example.org",
          "tel:+15550100", "quillon-lesson:three", "chrome://version", "view-source:http://a.b/",
          "javascript:alert(1)", "blob:http://a.b/x", "lesson three", "http://", "http:///path"})
        QTest::addRow("%s", link) << QString::fromLatin1(link) << QStringLiteral("about:blank");
}

void BrowserRulesTest::linkBecomesAddress()
{
    QFETCH(QString, link);
    QFETCH(QString, address);
    QCOMPARE(shownAddress(link), address);
}

void BrowserRulesTest::onlyNetworkAddressesLoadAhead_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("http") << QStringLiteral("http://example.org/") << true;
    QTest::newRow("https") << QStringLiteral("HTTPS://example.org/") << true;
    QTest::newRow("file") << QStringLiteral("file:///tmp/a.zip") << false;
    QTest::newRow("data") << QStringLiteral("data:application/octet-stream,x") << false;
    QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)") << false;
    QTest::newRow("blank") << QStringLiteral("about:blank") << false;
}

void BrowserRulesTest::onlyNetworkAddressesLoadAhead()
{
    QFETCH(QString, address);
    QFETCH(bool, loaded);
    QCOMPARE(isWorthLoadingAhead(address), loaded);
}

void BrowserRulesTest::anotherSiteOnlyWhenPlain_data()
{
    // A step onto another site is not held by the page on show: only where that is sure.
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("next");
    QTest::addColumn<bool>("another");
    const auto row = [](const char* name, const char* shown, const char* next, bool another) {
        QTest::newRow(name) << QString::fromLatin1(shown) << QString::fromLatin1(next) << another;
    };
    row("other domain", "http://a.example.com/", "http://example.org/x", true);
    row("same domain", "http://a.example.com/", "http://B.EXAMPLE.com./", false);
    row("other scheme", "http://example.com/", "https://example.com/", true);
    row("longer public suffix", "http://x.one.co.uk/", "http://y.two.co.uk/", false);
    row("address and name", "http://127.0.0.1:8000/", "http://localhost:8000/", true);
    row("two addresses", "http://127.0.0.1/", "http://[::1]/", true);
    row("address in another notation", "http://127.0.0.1/", "http://0x7f.1/", false);
    row("not a web page", "about:blank", "http://example.com/", false);
    row("file", "http://example.com/", "file:///tmp/a.html", false);
}

void BrowserRulesTest::anotherSiteOnlyWhenPlain()
{
    QFETCH(QString, shown);
    QFETCH(QString, next);
    QFETCH(bool, another);
    QCOMPARE(isAnotherSite(shown, next), another);
}

void BrowserRulesTest::scriptAddressesAreRecognised_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("script");
    QTest::newRow("plain") << QStringLiteral("javascript:alert(1)") << true;
    QTest::newRow("upper case") << QStringLiteral("JAVASCRIPT:alert(1)") << true;
    QTest::newRow("leading blanks") << QStringLiteral("  javascript:alert(1)") << true;
    QTest::newRow("leading controls")
        << QString(QChar(0)) + QChar(1) + QChar(0x1f) + QStringLiteral(" javascript:x") << true;
    QTest::newRow("tab inside") << QStringLiteral("java\tscript:alert(1)") << true;
    QTest::newRow("line breaks inside") << QStringLiteral("j\r\navascript\n:x") << true;
    QTest::newRow("only the scheme") << QStringLiteral("javascript:") << true;
    QTest::newRow("web address") << QStringLiteral("http://example.org/javascript:x") << false;
    QTest::newRow("other scheme") << QStringLiteral("javascripts:x") << false;
    QTest::newRow("blank inside") << QStringLiteral("java script:x") << false;
    QTest::newRow("no colon") << QStringLiteral("javascript") << false;
    QTest::newRow("empty") << QString() << false;
}

void BrowserRulesTest::scriptAddressesAreRecognised()
{
    QFETCH(QString, address);
    QFETCH(bool, script);
    QCOMPARE(isScriptUrl(address), script);
}

namespace {
QJsonArray headers(std::initializer_list<std::pair<const char*, const char*>> pairs)
{
    QJsonArray list;
    for (const auto& [name, value] : pairs)
        list.append(QJsonObject{{QStringLiteral("name"), QString::fromLatin1(name)},
                                {QStringLiteral("value"), QString::fromLatin1(value)}});
    return list;
}
} // namespace

void BrowserRulesTest::keptDocumentMayBeKept_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonArray>("responseHeaders");
    QTest::addColumn<bool>("kept");
    QTest::newRow("no-cache") << QStringLiteral("GET") << 200
                              << headers({{"Cache-Control", "no-cache"}}) << true;
    QTest::newRow("private, max-age=0")
        << QStringLiteral("GET") << 200 << headers({{"cache-control", "private, max-age=0"}})
        << true;
    QTest::newRow("no header") << QStringLiteral("GET") << 200 << QJsonArray() << true;
    QTest::newRow("no-store") << QStringLiteral("GET") << 200
                              << headers({{"Cache-Control", "no-store"}}) << false;
    QTest::newRow("no-store among others")
        << QStringLiteral("GET") << 200
        << headers({{"CACHE-CONTROL", "private, No-Store, max-age=0"}}) << false;
    QTest::newRow("no-store on a second line")
        << QStringLiteral("GET") << 200 << headers({{"Cache-Control", "private\nno-store"}})
        << false;
    QTest::newRow("POST") << QStringLiteral("POST") << 200 << QJsonArray() << false;
    QTest::newRow("redirect") << QStringLiteral("GET") << 302 << QJsonArray() << false;
    QTest::newRow("not found") << QStringLiteral("GET") << 404 << QJsonArray() << false;
    QTest::newRow("no content") << QStringLiteral("GET") << 204 << QJsonArray() << true;
}

void BrowserRulesTest::keptDocumentMayBeKept()
{
    QFETCH(QString, method);
    QFETCH(int, status);
    QFETCH(QJsonArray, responseHeaders);
    QFETCH(bool, kept);
    QCOMPARE(KeptDocuments::mayBeKept(method, status, responseHeaders), kept);
}

void BrowserRulesTest::keptDocumentIsServedOnceWithinFiveMinutes()
{
    ShiftedClock clock;
    KeptDocuments documents(clock);
    const QString url = QStringLiteral("https://example.org/next");
    const QJsonArray sent = headers({{"Content-Type", "text/html"},
                                     {"Set-Cookie", "a=b"},
                                     {"Content-Encoding", "gzip"},
                                     {"Content-Length", "4"},
                                     {"X-Own", "kept"}});
    documents.keep(url + QStringLiteral("#top"), QStringLiteral("GET"), 200, QStringLiteral("OK"),
                   sent, "body");
    QVERIFY(!documents.take(url, QStringLiteral("POST")));
    QVERIFY(!documents.take(url + QStringLiteral("/other"), QStringLiteral("GET")));
    clock.shiftMs += KeptDocuments::MaxAgeMs;
    const auto served = documents.take(url + QStringLiteral("#part"), QStringLiteral("GET"));
    QVERIFY(served);
    QCOMPARE(served->body, QByteArray("body"));
    QCOMPARE(served->status, 200);
    QCOMPARE(served->headers, headers({{"Content-Type", "text/html"}, {"X-Own", "kept"}}));
    QVERIFY(!documents.take(url, QStringLiteral("GET")));
    QCOMPARE(documents.bytes(), 0);
    // Older than five minutes: not served.
    documents.keep(url, QStringLiteral("GET"), 200, {}, {}, "body");
    clock.shiftMs += KeptDocuments::MaxAgeMs + 1;
    QVERIFY(!documents.take(url, QStringLiteral("GET")));
    QCOMPARE(documents.count(), 0);
    // A later load of the same address replaces the earlier one, also by one that may not be
    // kept.
    documents.keep(url, QStringLiteral("GET"), 200, {}, {}, "first");
    documents.keep(url, QStringLiteral("GET"), 200, {}, {}, "second");
    QCOMPARE(documents.count(), 1);
    documents.keep(url, QStringLiteral("GET"), 200, {}, headers({{"Cache-Control", "no-store"}}),
                   "third");
    QCOMPARE(documents.count(), 0);
}

void BrowserRulesTest::keptDocumentsStayWithinTheirBounds()
{
    KeptDocuments documents(BrowserClock::qt());
    for (int i = 0; i < 10; ++i)
        documents.keep(QStringLiteral("https://example.org/%1").arg(i), QStringLiteral("GET"), 200,
                       {}, {}, QByteArray(1000, 'x'));
    QCOMPARE(documents.count(), KeptDocuments::MaxDocuments);
    QVERIFY(!documents.take(QStringLiteral("https://example.org/5"), QStringLiteral("GET")));
    QVERIFY(documents.take(QStringLiteral("https://example.org/9"), QStringLiteral("GET")));
    const QByteArray large(KeptDocuments::MaxBytes / 3, 'x');
    for (int i = 0; i < 4; ++i)
        documents.keep(QStringLiteral("https://example.org/large%1").arg(i), QStringLiteral("GET"),
                       200, {}, {}, large);
    QVERIFY(documents.bytes() <= KeptDocuments::MaxBytes);
    QVERIFY(documents.peakBytes() <= KeptDocuments::MaxBytes);
    QCOMPARE(documents.count(), 2);
    documents.keep(QStringLiteral("https://example.org/huge"), QStringLiteral("GET"), 200, {}, {},
                   QByteArray(KeptDocuments::MaxBytes + 1, 'x'));
    QVERIFY(!documents.take(QStringLiteral("https://example.org/huge"), QStringLiteral("GET")));
}

void BrowserRulesTest::hiddenDocumentTooLargeToHold()
{
    QVERIFY(!HiddenResponsePolicy::isTooLargeToHold(headers({{"Content-Length", "1000"}})));
    QVERIFY(!HiddenResponsePolicy::isTooLargeToHold({}));
    QVERIFY(HiddenResponsePolicy::isTooLargeToHold(headers({{"content-length", "40000000"}})));
    QVERIFY(!HiddenResponsePolicy::isTooLargeToHold(headers({{"Content-Length", "many"}})));
}

void BrowserRulesTest::hiddenResponses_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonArray>("responseHeaders");
    QTest::addColumn<bool>("mayLoad");
    QTest::newRow("page") << 200 << headers({{"Content-Type", "text/html; charset=utf-8"}}) << true;
    QTest::newRow("header names in any case")
        << 200 << headers({{"content-type", "TEXT/HTML"}}) << true;
    QTest::newRow("plain text") << 200 << headers({{"Content-Type", "text/plain"}}) << true;
    QTest::newRow("image") << 200 << headers({{"Content-Type", "image/png"}}) << true;
    QTest::newRow("error page") << 404 << headers({{"Content-Type", "text/html"}}) << true;
    QTest::newRow("redirect without type") << 302 << headers({{"Location", "/b"}}) << true;
    QTest::newRow("no content") << 204 << headers({}) << true;
    QTest::newRow("inline disposition")
        << 200 << headers({{"Content-Type", "text/html"}, {"Content-Disposition", "inline"}})
        << true;
    QTest::newRow("attachment") << 200
                                << headers(
                                       {{"Content-Type", "text/html"},
                                        {"Content-Disposition", "Attachment; filename=\"a.htm\""}})
                                << false;
    QTest::newRow("archive") << 200 << headers({{"Content-Type", "application/zip"}}) << false;
    QTest::newRow("binary") << 200 << headers({{"Content-Type", "application/octet-stream"}})
                            << false;
    QTest::newRow("pdf") << 200 << headers({{"Content-Type", "application/pdf"}}) << false;
    QTest::newRow("audio") << 200 << headers({{"Content-Type", "audio/mpeg"}}) << false;
    QTest::newRow("video") << 200 << headers({{"Content-Type", "video/mp4"}}) << false;
    QTest::newRow("calendar text") << 200 << headers({{"Content-Type", "text/calendar"}}) << false;
    QTest::newRow("no type, would be guessed") << 200 << headers({}) << false;
    QTest::newRow("bare image/") << 200 << headers({{"Content-Type", "image/"}}) << false;
}

void BrowserRulesTest::hiddenResponses()
{
    QFETCH(int, status);
    QFETCH(QJsonArray, responseHeaders);
    QFETCH(bool, mayLoad);
    QCOMPARE(HiddenResponsePolicy::mayLoad(status, responseHeaders), mayLoad);
}

void BrowserRulesTest::loadAheadTellsItsPurpose_data()
{
    QTest::addColumn<QString>("next"); // from a window on http://a.org/x
    QTest::addColumn<QString>("purpose");
    QTest::newRow("same origin") << "http://a.org:80/y#f"
                                 << "prefetch;prerender";
    QTest::newRow("the page on show") << "http://a.org/x#2"
                                      << "prefetch";
    QTest::newRow("another port") << "http://a.org:81/y"
                                  << "prefetch";
    QTest::newRow("another scheme") << "https://a.org/y"
                                    << "prefetch";
}

void BrowserRulesTest::loadAheadTellsItsPurpose()
{
    QFETCH(QString, next);
    QFETCH(QString, purpose);
    QCOMPARE(HiddenTargetGuard::purposeOf(next, QStringLiteral("http://a.org/x")), purpose);
}

void BrowserRulesTest::keptCookiesStillAnswer_data()
{
    // The cookies now, against session=in and HttpOnly sid=1 kept; '!' marks HttpOnly.
    QTest::addColumn<QStringList>("now");
    QTest::addColumn<bool>("handedOut"); // a page runs the copy
    QTest::addColumn<bool>("answers");
    QTest::newRow("same") << QStringList{"session=in", "!sid=1"} << false << true;
    QTest::newRow("one came, no page")
        << QStringList{"session=in", "!sid=1", "a=1"} << false << false;
    QTest::newRow("its page wrote") << QStringList{"session=2", "!sid=1", "a=1"} << true << true;
    QTest::newRow("logged out") << QStringList{"!sid=1"} << true << false;
    QTest::newRow("HttpOnly changed") << QStringList{"session=in", "!sid=2"} << true << false;
    QTest::newRow("HttpOnly came") << QStringList{"session=in", "!sid=1", "!b=1"} << true << false;
}

void BrowserRulesTest::keptCookiesStillAnswer()
{
    QFETCH(QStringList, now);
    QFETCH(bool, handedOut);
    QFETCH(bool, answers);
    const auto cookies = [](const QStringList& list) {
        QJsonArray array;
        for (const QString& cookie : list)
            array.append(QJsonObject{{"name", cookie.section(QLatin1Char('='), 0, 0).remove('!')},
                                     {"value", cookie.section(QLatin1Char('='), 1)},
                                     {"httpOnly", cookie.startsWith(QLatin1Char('!'))}});
        return KeptDocuments::cookieState(array);
    };
    const QStringList kept{QStringLiteral("session=in"), QStringLiteral("!sid=1")};
    QCOMPARE(KeptDocuments::stillAnswers(cookies(kept), cookies(now), handedOut), answers);
}

void BrowserRulesTest::profileInUseIsRecognised_data()
{
    QTest::addColumn<QString>("lock"); // where SingletonLock points; empty for no lock
    QTest::addColumn<bool>("held");
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const QString here = QString::fromLocal8Bit(host);
    QTest::newRow("no lock") << QString() << false;
    QTest::newRow("running process here")
        << here + QLatin1Char('-') + QString::number(getpid()) << true;
    QTest::newRow("ended process here") << here + QStringLiteral("-2147483000") << false;
    QTest::newRow("other machine") << QStringLiteral("elsewhere-12") << true;
    QTest::newRow("not a lock of the browser") << QStringLiteral("garbage") << false;
}

void BrowserRulesTest::profileInUseIsRecognised()
{
    QFETCH(QString, lock);
    QFETCH(bool, held);
    QTemporaryDir dir;
    if (!lock.isEmpty())
        QVERIFY(QFile::link(lock, dir.path() + QStringLiteral("/SingletonLock")));
    QCOMPARE(BrowserProfile::isHeldByRunningBrowser(dir.path()), held);
    const BrowserProfile chosen = BrowserProfile::choose(dir.path());
    QCOMPARE(chosen.isTemporary(), held);
    if (chosen.isTemporary())
        QDir(chosen.path()).removeRecursively();
}

void BrowserRulesTest::unusableProfileGivesTemporaryOne()
{
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/a-file");
    QFile(file).open(QIODevice::WriteOnly);
    const BrowserProfile chosen = BrowserProfile::choose(file + QStringLiteral("/profile"));
    QVERIFY(chosen.isTemporary());
    QVERIFY(QFileInfo(chosen.path()).isDir());
    QVERIFY(QDir(chosen.path()).isEmpty());
    QVERIFY(QDir(chosen.path()).removeRecursively());
}

void BrowserRulesTest::defaultProfileLivesInConfigHome()
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    QCOMPARE(BrowserProfile::defaultPath(),
             dir.path() + QStringLiteral("/Quillon2/browser-profile"));
    const BrowserProfile chosen = BrowserProfile::choose();
    QVERIFY(!chosen.isTemporary());
    QVERIFY(QFileInfo(BrowserProfile::defaultPath()).isDir());
}

void BrowserRulesTest::argumentsGiveQuietStart()
{
    const QStringList arguments = RunningChromium::browserArguments(QStringLiteral("/p"));
    for (const char* flag :
         {"--remote-debugging-pipe", "--user-data-dir=/p", "--no-first-run",
          "--no-default-browser-check", "--disable-background-networking",
          "--disable-component-update", "--disable-sync", "--hide-crash-restore-bubble",
          "--ozone-platform=x11", "--no-startup-window"})
        QVERIFY2(arguments.contains(QString::fromLatin1(flag)), flag);
    QCOMPARE(arguments.contains(QStringLiteral("--no-sandbox")), geteuid() == 0);
    // No address: the browser opens no window of its own (and so restores no session).
    QVERIFY(!arguments.contains(QStringLiteral("about:blank")));
    QVERIFY(!arguments.contains(QStringLiteral("--enable-automation")));
    // One list, or the last would override the others; paint is held across origins too.
    const QStringList disabled = arguments.filter(QStringLiteral("--disable-features="));
    QCOMPARE(disabled.size(), 1);
    const QStringList features = disabled.first().section(u'=', 1).split(u',');
    for (const char* feature :
         {"Prerender2FallbackPrefetchSpecRules", "LimitCrossOriginNonActivatedPaintHolding"})
        QVERIFY2(features.contains(QString::fromLatin1(feature)), feature);
    QVERIFY(arguments.filter(QStringLiteral("--enable-features=")).size() <= 1);
}

void BrowserRulesTest::browserIsFoundOnPath_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("found");
    QTest::newRow("none") << QStringList() << QString();
    QTest::newRow("only a non-executable file")
        << QStringList{QStringLiteral("-chromium")} << QString();
    QTest::newRow("google-chrome-stable") << QStringList{QStringLiteral("google-chrome-stable")}
                                          << QStringLiteral("google-chrome-stable");
    QTest::newRow("chromium first")
        << QStringList{QStringLiteral("google-chrome"), QStringLiteral("chromium-browser"),
                       QStringLiteral("chromium")}
        << QStringLiteral("chromium");
    QTest::newRow("chromium-browser before google-chrome")
        << QStringList{QStringLiteral("google-chrome"), QStringLiteral("chromium-browser")}
        << QStringLiteral("chromium-browser");
}

void BrowserRulesTest::browserIsFoundOnPath()
{
    QFETCH(QStringList, installed); // a leading '-' makes a file that cannot be run
    QFETCH(QString, found);
    QTemporaryDir dir;
    for (const QString& entry : installed) {
        const bool runnable = !entry.startsWith(QLatin1Char('-'));
        QFile file(dir.path() + QLatin1Char('/') + (runnable ? entry : entry.mid(1)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        if (runnable)
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().toUtf8());
    const QString result = ChromiumBrowserFactory::findExecutable();
    qputenv("PATH", path);
    QCOMPARE(result, found.isEmpty() ? QString() : dir.path() + QLatin1Char('/') + found);
}

void BrowserRulesTest::windowSetUpSettles_data()
{
    // A command that the browser refuses, and the failure that the window's set-up ends in.
    QTest::addColumn<QString>("refused");
    QTest::addColumn<int>("failure");
    QTest::newRow("all answered") << QString() << 0;
    QTest::newRow("discovery") << "Target.setDiscoverTargets" << FailureNumber::CannotCreateObject;
    QTest::newRow("window") << "Target.createTarget" << FailureNumber::CannotCreateObject;
    QTest::newRow("attach") << "Target.attachToTarget" << FailureNumber::CannotCreateObject;
    QTest::newRow("auto-attach") << "Target.setAutoAttach" << FailureNumber::CannotCreateObject;
}

void BrowserRulesTest::windowSetUpSettles()
{
    QFETCH(QString, refused);
    ScriptedChromium chromium;
    chromium.script(refused, ScriptedChromium::Reply::withError("refused"));
    // The page reported after all: a refusal is not taken back by what follows it.
    connect(
        &chromium, &ScriptedChromium::commandReceived, &chromium,
        [&](const QJsonObject& command) {
            if (command["method"] == "Target.setAutoAttach" && refused == command["method"])
                chromium.emitEvent(
                    "Target.attachedToTarget",
                    {{"sessionId", "late"},
                     {"targetInfo", QJsonObject{{"targetId", "late-page"}, {"type", "page"}}}},
                    command["sessionId"].toString());
        },
        Qt::DirectConnection);
    const auto ends = chromium.takeProgramEnds();
    QTemporaryDir profile;
    const auto running = RunningChromium::overPipe(ends.commandFd, ends.eventFd,
                                                   BrowserProfile::choose(profile.path()));
    running->connection().postChecked("Target.setDiscoverTargets", {{"discover", true}}, {},
                                      FailureNumber::CannotCreateObject);
    ShownPage::Tab tab;
    int failure = 0;
    try {
        tab = ShownPage::attachTab(running->connection(), running->openWindow());
    } catch (const Failure& caught) {
        failure = caught.number();
    }
    QTEST(failure, "failure");
    if (failure == 0)
        QCOMPARE(tab.sessionId, ScriptedChromium::WindowPageSession);
    QCOMPARE(chromium.heard(refused).size(), int(!refused.isEmpty()));
}

void BrowserRulesTest::windowAddressWhileItsPageMoves_data()
{
    // What the browser reports of the window's page after a step onto http://b/.
    QTest::addColumn<QString>("reported");
    QTest::addColumn<QString>("address");
    QTest::newRow("arrived") << "http://b/"
                             << "http://b/";
    QTest::newRow("redirected") << "http://c/"
                                << "http://c/";
    // As it does while the page waits for a renderer of its own.
    QTest::newRow("between renderers") << ""
                                       << "http://b/";
}

void BrowserRulesTest::windowAddressWhileItsPageMoves()
{
    QFETCH(QString, reported);
    ScriptedChromium chromium;
    chromium.script("Target.getTargetInfo", ScriptedChromium::Reply::withResult(
                                                {{"targetInfo", QJsonObject{{"url", reported}}}}));
    const auto ends = chromium.takeProgramEnds();
    QTemporaryDir profile;
    const auto running = RunningChromium::overPipe(ends.commandFd, ends.eventFd,
                                                   BrowserProfile::choose(profile.path()));
    const auto window = WindowBrowser::open(running, running->openWindow());
    window->Navigate("http://b/");
    QCOMPARE(chromium.waitForCommand("Page.navigate")["params"].toObject()["url"].toString(),
             "http://b/");
    QTEST(window->LocationURL(), "address");
}

QTEST_GUILESS_MAIN(BrowserRulesTest)
#include "test_browser_rules.moc"
