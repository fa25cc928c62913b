// Pages written to end or freeze the program, and links that are no web page, against the real
// Chromium: the browser pair as the program makes it, one page on show in the window and the next
// link loading ahead in the hidden instance. Whatever they do, the browser and both instances
// live on, the program holds no hostile page whole, and a step shows its link, never a copy
// loaded ahead that is older than what the user saw. Needs an X display (xvfb-run).
#include "BrowserPair.h"
#include "BrowserProcesses.h"
#include "LoadEventWait.h"
#include "LocalHttpServer.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
constexpr qsizetype MiB = qsizetype{1} << 20;
LocalHttpServer* server = nullptr;
QByteArray gzippedPage; // made once, before the server asks for it

QByteArray gzip(const QByteArray& data)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c")});
    gzip.write(data);
    gzip.closeWriteChannel();
    gzip.waitForFinished();
    return gzip.readAllStandardOutput();
}

// Every title is the page's name and how many times the server was asked for it. The hostile
// pages are /KIND/N, N their size in MiB (MB for the decoded gzip page).
HttpResponse respond(const QString& path)
{
    HttpResponse response;
    const QString kind = path.section(QLatin1Char('/'), 1, 1);
    const QByteArray size = path.section(QLatin1Char('/'), 2).toLatin1();
    const QByteArray name = path.toLatin1().mid(1);
    if (kind == QLatin1String("html-no-length")) {
        response.declareLength = false;
        response.body = "<p>" + QByteArray(MiB - 3, 'x');
        response.repeat = size.toInt();
        return response;
    }
    if (kind == QLatin1String("gzip-html")) {
        response.headers = {{"Content-Encoding", "gzip"}};
        response.body = gzippedPage;
        return response;
    }
    response.body =
        "<title>" + name + ' ' + QByteArray::number(server->requestCount(path)) + "</title>";
    if (kind == QLatin1String("console"))
        response.body += "<script>console.log('x'.repeat(" + size + " * 1024 * 1024))</script>";
    if (kind == QLatin1String("error"))
        response.body += "<script>throw new Error('x'.repeat(" + size + " * 1024 * 1024))</script>";
    // The title tells that the endless script has started, in the task that runs it.
    // The late one spins once its next link, loaded ahead, is prerendered.
    if (name.startsWith("spin"))
        response.body += "<script>onload = () => setTimeout(() => { document.title = 'spinning';"
                         "for (;;) {} }, " +
                         QByteArray(name == "spin-late" ? "1500" : "50") + ")</script>";
    if (name == "spin-asking-to-stay")
        response.body += "<script>onbeforeunload = (e) => e.preventDefault()</script>";
    // Pages that hold their renderer while they are left: /hold/EVENT[-SECONDS], for ever or
    // for that long, then report it.
    if (kind == QLatin1String("hold")) {
        const QByteArray event = size.split('-').value(0);
        const QByteArray seconds = size.split('-').value(1);
        response.body +=
            "<script>" + QByteArray(event == "navigate" ? "navigation." : "") + "on" + event +
            " = () => { const end = performance.now() + " +
            (seconds.isEmpty() ? QByteArray("Infinity") : seconds + "e3") +
            "; while (performance.now() < end) {} navigator.sendBeacon('/held') }</script>";
    }
    // Pages that navigate themselves for ever: /self/href a moment after they load, /self/reload
    // as they load, /self/refresh by their meta tag.
    if (name == "self/href")
        response.body += "<script>onload = () => setTimeout(() => location.href = '/self/href', "
                         "50)</script>";
    if (name == "self/reload")
        response.body += "<script>onload = () => location.reload()</script>";
    if (name == "self/refresh")
        response.body += "<meta http-equiv=refresh content=0>";
    // /declines/STATUS answers the load ahead with STATUS, and a visit with the page; both
    // cacheable.
    if (kind == QLatin1String("declines")) {
        if (server->requestHeads(path).constLast().contains("\r\nSec-Purpose:")) {
            response.status = size.toInt();
            if (response.status == 204 || response.status == 205)
                response.body.clear();
        }
        response.headers = {{"Cache-Control", "max-age=300"}};
        return response;
    }
    if (kind == QLatin1String("redirect")) {
        response.status = 302;
        response.headers = {{"Location", '/' + size}};
    }
    // Busy 1.5 s of every 1.7 s; the title tells when a busy time starts.
    if (name == "busy")
        response.body += "<script>let n = 0; const busy = () => { document.title = 'busy ' + ++n;"
                         "setTimeout(() => { const end = performance.now() + 1500;"
                         "while (performance.now() < end) {} setTimeout(busy, 200) }, 10) };"
                         "onload = busy</script>";
    if (name == "alert")
        response.body += "<script>onload = () => setTimeout(() => { document.title = 'alerting';"
                         "alert('stay') }, 50)</script>";
    if (name == "login" || name == "logout")
        response.headers = {
            {"Set-Cookie", name == "login" ? "user=alice; Path=/" : "user=; Path=/; Max-Age=0"}};
    response.headers << qMakePair(QByteArray("Cache-Control"),
                                  QByteArray(name == "account"             ? "private, max-age=0"
                                             : name.startsWith("no-store") ? "no-store"
                                                                           : "no-cache"));
    return response;
}

// Kibibytes of a field of /proc/PID/status (VmRSS, VmHWM); 0 when the process is gone.
qint64 statusKiB(const QString& pid, const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("\n" + field + ':');
    return at < 0 ? 0 : text.mid(at + field.size() + 2).trimmed().split(' ').value(0).toLongLong();
}
} // namespace

class HostilePagesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stepShowsItsLink_data();
    void stepShowsItsLink();

private:
    WindowBrowser& window() { return m_pair->window(); }
    AheadBrowser& hidden() { return m_pair->hiddenBrowser(); }
    // From the browser, not the page: it answers also while the page's renderer is held.
    QString shown(const char* field)
    {
        return window()
            .connection()
            .command(
                QStringLiteral("Target.getTargetInfo"),
                {{QStringLiteral("targetId"),
                  window().page().targetId()}})[QStringLiteral("targetInfo")][QLatin1String(field)]
            .toString();
    }
    // "//PATH": the server's PATH on another site.
    static QString url(const QString& link)
    {
        return link.startsWith(QLatin1String("//"))
                   ? server->url(link.mid(1))
                         .replace(QLatin1String("127.0.0.1"), QLatin1String("localhost"))
                   : server->url(link);
    }
    void show(const QString& path)
    {
        QVERIFY(loadFully(window(), url(path), 60000));
        // A page that starts something says so in its title.
        const QString title =
            path.startsWith(QLatin1String("/spin")) ? QStringLiteral("spinning")
            : path == QLatin1String("/alert")
                ? QStringLiteral("alerting")
                : path.mid(path.startsWith(QLatin1String("//")) ? 2 : 1) + QLatin1Char(' ');
        QTRY_VERIFY_WITH_TIMEOUT(shown("title").startsWith(title), 15000);
    }

    QTemporaryDir m_home;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<QTemporaryDir> m_profile;
    std::optional<BrowserPair> m_pair;
};

void HostilePagesTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    if (const QString why = browserTestUnavailable(m_home.path()); !why.isEmpty())
        QSKIP(qPrintable(why));
    gzippedPage = gzip("<title>gzip</title>" + QByteArray(70 * 1000 * 1000, 'x'));
    m_server = std::make_unique<LocalHttpServer>(respond);
    server = m_server.get();
}

// One pair for the rows, each on paths of its own. Every row ends by checking that the browser
// and both of its instances live on and still step and load ahead; a row that fails gets a
// fresh pair after it, so that it fails alone.
void HostilePagesTest::init()
{
    if (m_pair)
        return;
    m_profile = std::make_unique<QTemporaryDir>();
    m_pair.emplace(std::make_unique<ChromiumBrowserFactory>(QString(), m_profile->path()));
    window().watchStepKeys([](StepKey) {});
}

void HostilePagesTest::cleanup()
{
    if (QTest::currentTestFailed())
        m_pair.reset();
}

void HostilePagesTest::stepShowsItsLink_data()
{
    // before: what happens ahead of the step, in order: "show PATH" in the window, "ahead PATH"
    // in the hidden instance, "hang" the window's renderer. expected: the title that the step's
    // link must show, or about:blank.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("expected");
    for (const char* next : {"/html-no-length/50", "/html-no-length/80",
                             // Within the bound: loaded ahead, handed to the browser whole.
                             "/html-no-length/30", "/gzip-html/70"})
        QTest::addRow("next link %s", next)
            << QStringList{QStringLiteral("show /shown"), QStringLiteral("ahead ") + next}
            << QStringLiteral("/after") + next << QStringLiteral("after%1 1").arg(next);
    for (const char* onShow : {"/console/70", "/error/70"})
        QTest::addRow("on show %s", onShow)
            << QStringList{QStringLiteral("show ") + onShow} << QStringLiteral("/after") + onShow
            << QStringLiteral("after%1 1").arg(onShow);
    QTest::newRow("page on show spins, next link on the same site")
        << QStringList{QStringLiteral("show /spin")} << QStringLiteral("/next-a")
        << QStringLiteral("next-a 1");
    QTest::newRow("spinning page asks to stay")
        << QStringList{QStringLiteral("show /spin-asking-to-stay")} << QStringLiteral("/next-b")
        << QStringLiteral("next-b 1");
    QTest::newRow("page on show spins, its prerendered next link")
        << QStringList{QStringLiteral("ahead /next-e"), QStringLiteral("show /spin-late")}
        << QStringLiteral("/next-e") << QStringLiteral("next-e 1");
    QTest::newRow("renderer hung in the browser's own code")
        << QStringList{QStringLiteral("hang")} << QStringLiteral("/next-c")
        << QStringLiteral("next-c 1");
    // Pages that hold the step while they are left, as NAME|BEFORE,...|LINK|EXPECTED. "left": the
    // step goes back in the window's history; "spared": the page on show answers, and its
    // renderer must live on; "//PATH": PATH on another site.
    for (const char* row :
         {"beforeunload loops, onto another site|show /hold/beforeunload|//next-f|next-f 1",
          "beforeunload loops, onto no-store|show /hold/beforeunload|/no-store-g|no-store-g 1",
          "beforeunload loops, onto a redirect|show /hold/beforeunload|/redirect/next-h|next-h 1",
          "pagehide loops, onto no-store|show /hold/pagehide|/no-store-i|no-store-i ",
          "unload loops, onto no-store|show /hold/unload|/no-store-j|no-store-j ",
          "navigate event loops, left|show /next-k,show /hold/navigate,left|/next-k|next-k ",
          "beforeunload loops, left|show //next-l,show /hold/beforeunload,left|//next-l|next-l ",
          "dialog open|show /alert,spared|/next-m|next-m 1",
          "beforeunload busy for 4 s|show /hold/beforeunload-4|/next-n|next-n 1",
          "busy 1.5 s of every 1.7 s|show /busy,busy,spared|/next-o|next-o 1"}) {
        const QStringList field = QString::fromLatin1(row).split(QLatin1Char('|'));
        QTest::addRow("%s", qPrintable(field[0]))
            << field[1].split(QLatin1Char(',')) << field[2] << field[3];
    }
    QTest::newRow("logged out between the load ahead and the step")
        << QStringList{QStringLiteral("show /login"), QStringLiteral("ahead /account"),
                       QStringLiteral("show /logout")}
        << QStringLiteral("/account") << QStringLiteral("account 2");
    for (const char* status : {"204", "205", "404"})
        QTest::addRow("site declines the load ahead with a cacheable %s", status)
            << QStringList{QStringLiteral("show /before"),
                           QStringLiteral("ahead /declines/") + status}
            << QStringLiteral("/declines/") + status << QStringLiteral("declines/%1 2").arg(status);
    // A step that the page's own navigation overtook is sent again: its page may be asked twice.
    for (const char* page : {"/self/href", "/self/reload", "/self/refresh"})
        QTest::addRow("page on show navigates itself: %s", page)
            << QStringList{QStringLiteral("show ") + page, QStringLiteral("ahead /next") + page}
            << QStringLiteral("/next") + page << QStringLiteral("next%1 ").arg(page);
    QTest::newRow("one link: the step is a refresh")
        << QStringList{QStringLiteral("show /one"), QStringLiteral("ahead /one")}
        << QStringLiteral("/one") << QStringLiteral("one 3");
    // A link that is no web page shows a blank page; which links those are, the rules' own
    // table tells (linkBecomesAddress).
    QTest::newRow("mailto:someone@example.org")
        << QStringList{QStringLiteral("show /before")}
        << QStringLiteral("mailto:someone@example.org") << QStringLiteral("about:blank");
}

void HostilePagesTest::stepShowsItsLink()
{
    QFETCH(QStringList, before);
    QFETCH(QString, link);
    QFETCH(QString, expected);
    // The peak of the program's memory counts from here (where the kernel lets it be reset).
    QFile peak(QStringLiteral("/proc/self/clear_refs"));
    if (peak.open(QIODevice::WriteOnly))
        peak.write("5");
    peak.close();
    const qint64 idleKiB = statusKiB(QStringLiteral("self"), "VmRSS");

    for (const QString& step : before) {
        const QString path = step.section(QLatin1Char(' '), 1);
        if (step == QLatin1String("left") || step == QLatin1String("spared") ||
            step == QLatin1String("busy")) {
            continue;
        } else if (step.startsWith(QLatin1String("show"))) {
            show(path);
        } else if (step.startsWith(QLatin1String("ahead"))) {
            QVERIFY(loadFully(hidden(), m_server->url(path), 60000));
        } else {
            // Reached only through the pipe: no link of a theme file goes there.
            window().connection().post(QStringLiteral("Page.navigate"),
                                       {{QStringLiteral("url"), QStringLiteral("chrome://hang")}},
                                       window().page().sessionId());
            QTRY_VERIFY(shown("url").startsWith(QLatin1String("chrome://hang")));
        }
    }
    if (before.contains(QLatin1String("busy"))) {
        const QString busyBefore = shown("title");
        QTRY_VERIFY(shown("title") != busyBefore);
    }
    const int pages = pageTargetCount(window().connection());
    QSignalSpy rendererGone(&window().page(), &ShownPage::rendererGone);
    const int held = m_server->requestCount(QStringLiteral("/held"));
    QElapsedTimer step;
    step.start();
    if (before.contains(QLatin1String("left")))
        window().NavigateBack(url(link));
    else
        window().Navigate(link.startsWith(QLatin1Char('/')) ? url(link) : link);
    QTRY_VERIFY2_WITH_TIMEOUT(
        shown(expected.startsWith(QLatin1String("about:")) ? "url" : "title").startsWith(expected),
        qPrintable(shown("title") + QLatin1Char(' ') + shown("url")), 15000);
    qInfo("step shown in %lld ms", step.elapsed());
    if (before.contains(QLatin1String("spared")))
        QCOMPARE(rendererGone.count(), 0);

    const qint64 peakKiB = statusKiB(QStringLiteral("self"), "VmHWM");
    qint64 browserPeakKiB = 0;
    for (const pid_t pid : browserProcesses(window().chromium().processGroup(), m_profile->path()))
        browserPeakKiB = qMax(browserPeakKiB, statusKiB(QString::number(pid), "VmHWM"));
    qInfo("program RSS %lld MB idle, %lld MB peak; largest browser process %lld MB peak",
          idleKiB / 1024, peakKiB / 1024, browserPeakKiB / 1024);
    // The address sanitizer keeps freed memory in quarantine: its build holds more than the
    // program does, so only the plain build measures.
#ifndef __SANITIZE_ADDRESS__
    QVERIFY2(peakKiB - idleKiB < 100 * 1024, "the program held a hostile page whole");
#endif

    // The browser and both of its targets live on, the next step shows its link and the next
    // load ahead loads (a renderer ended for the window may have been the hidden instance's
    // too); by then a page that was only waited for would have reported, and nothing else
    // opened.
    QVERIFY(window().connection().isAlive());
    QCOMPARE(::kill(window().chromium().processGroup(), 0), 0);
    QVERIFY(window().connection().hasTarget(window().page().targetId()));
    QVERIFY(window().connection().hasTarget(hidden().targetId()));
    static int rows = 0;
    const QString after = QStringLiteral("/after-%1").arg(++rows);
    show(after);
    QVERIFY(loadFully(hidden(), url(after + QStringLiteral("-ahead"))));
    QCOMPARE(m_server->requestCount(QStringLiteral("/held")), held); // ended, not waited for
    QCOMPARE(pageTargetCount(window().connection()), pages);
}

QTEST_GUILESS_MAIN(HostilePagesTest)
#include "test_hostile_pages.moc"
