// The hidden instance loads ahead out of sight: nothing of its pages reaches the user.
#include "BrowserTestCase.h"
#include "BrowserTests.h"
#include "browser/devtools/DevToolsConnection.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

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

class HiddenInstanceTest : public BrowserTestCase
{
    Q_OBJECT

public:
    using BrowserTestCase::BrowserTestCase;

private slots:
    void initTestCase() { startPair(); }
    void hiddenInstanceLoadsOutOfSight();
    void hiddenInstanceKeepsPageEffectsFromTheUser_data();
    void hiddenInstanceKeepsPageEffectsFromTheUser();
    void hiddenInstanceMakesNoSound();
    void hiddenInstanceLoadsLikeNoStatePrefetch();
    void hiddenInstanceGrantsNoPermission();
};

void HiddenInstanceTest::hiddenInstanceLoadsOutOfSight()
{
    const int windowsBefore = visibleWindowCount();
    const QString path = QStringLiteral("/page/ahead");
    QVERIFY(loadFully(hiddenBrowser(), m_server->url(path)));
    QCOMPARE(m_server->requestCount(path), 1);
    QCOMPARE(m_pair->hidden->LocationURL(), m_server->url(path));
    // Still one tab, in one window; the hidden target is no page of a window.
    QCOMPARE(pageTargetCount(hiddenBrowser().connection()), 1);
    QCOMPARE(visibleWindowCount(), windowsBefore);
    QVERIFY(windowsBefore >= 1);
}

void HiddenInstanceTest::hiddenInstanceKeepsPageEffectsFromTheUser_data()
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

void HiddenInstanceTest::hiddenInstanceKeepsPageEffectsFromTheUser()
{
    QFETCH(QString, path);
    QFETCH(QString, titleAfter);
    const int windowsBefore = visibleWindowCount();
    if (!titleAfter.isEmpty()) {
        QVERIFY2(loadFully(hiddenBrowser(), m_server->url(path)), "a dialog holds the page");
        QCOMPARE(evaluate(hiddenBrowser(), QStringLiteral("document.title")).toString(),
                 titleAfter);
    }
    loadInHidden(path);
    QCOMPARE(strayDownloads(), QString());
    QCOMPARE(pageTargetCount(hiddenBrowser().connection()), 1);
    QCOMPARE(visibleWindowCount(), windowsBefore);
}

void HiddenInstanceTest::hiddenInstanceMakesNoSound()
{
    QVERIFY(loadFully(hiddenBrowser(), m_server->url(QStringLiteral("/sound"))));
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

void HiddenInstanceTest::hiddenInstanceLoadsLikeNoStatePrefetch()
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
    // Another origin than the pages loaded ahead: the window's own prerender, which runs a
    // page's scripts as the browser's prerender does, is not what this case is about.
    QUrl reading(m_server->url(QStringLiteral("/page/reading")));
    reading.setHost(QStringLiteral("localhost"));
    QVERIFY(loadFully(window, reading.toString()));
    QVERIFY(loadFully(ahead, m_server->url(QStringLiteral("/page/first"))));
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
        // The hidden renderer is idle once the page has come: whatever it would do takes its
        // time in the second from here, which the renderers' time counts.
        const double cpuBefore = rendererCpuSeconds(connection);
        QTest::qWait(1000);
        const double busy = rendererCpuSeconds(connection) - cpuBefore;
        QVERIFY2(busy < 0.3, what + " keeps a renderer busy: " + QByteArray::number(busy));
        const QString after = QStringLiteral("/page/after-") + row;
        QVERIFY2(loadFully(ahead, m_server->url(after)), what + " holds the hidden instance");
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
    QVERIFY(loadFully(window, m_server->url(QStringLiteral("/np/analytics"))));
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

void HiddenInstanceTest::hiddenInstanceGrantsNoPermission()
{
    const int windowsBefore = visibleWindowCount();
    loadInHidden(QStringLiteral("/permission"));
    QVERIFY(loadFully(hiddenBrowser(), m_server->url(QStringLiteral("/permission"))));
    // The page's script never ran, so it asked for nothing; nothing was granted either way.
    QVERIFY(evaluate(hiddenBrowser(), QStringLiteral("Notification.permission")).toString() !=
            QLatin1String("granted"));
    QCOMPARE(visibleWindowCount(), windowsBefore);
}

std::unique_ptr<QObject> makeHiddenInstanceTests(BrowserFixture& fixture)
{
    return std::make_unique<HiddenInstanceTest>(fixture);
}

#include "HiddenInstanceTest.moc"
