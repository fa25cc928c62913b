// What the browser component decides without a browser: the address that a link becomes, which
// responses the hidden instance may load, the profile directory and the browser's arguments.
#include "browser/BrowserProfile.h"
#include "browser/ChromiumBrowserFactory.h"
#include "browser/ChromiumConnection.h"
#include "browser/HiddenResponsePolicy.h"
#include "browser/NavigationUrl.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class BrowserRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void linkBecomesAddress_data();
    void linkBecomesAddress();
    void onlyNetworkAddressesLoadAhead_data();
    void onlyNetworkAddressesLoadAhead();
    void scriptAddressesAreRecognised_data();
    void scriptAddressesAreRecognised();
    void hiddenResponses_data();
    void hiddenResponses();
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
}

void BrowserRulesTest::linkBecomesAddress()
{
    QFETCH(QString, link);
    QFETCH(QString, address);
    QCOMPARE(navigationUrl(link), address);
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
    const QStringList arguments = ChromiumConnection::browserArguments(QStringLiteral("/p"));
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

QTEST_GUILESS_MAIN(BrowserRulesTest)
#include "test_browser_rules.moc"
