// Pages written to end or freeze the program, against the real Chromium: the browser pair as the
// program makes it, one page on show in the window and the next link loading ahead in the hidden
// instance. Whatever they do, the browser and both instances live on and the window still shows
// the next page asked. Needs an X display (xvfb-run).
#include "BrowserProcesses.h"
#include "LocalHttpServer.h"
#include "browser/ChromiumBrowser.h"
#include "browser/ChromiumBrowserFactory.h"
#include "browser/ChromiumConnection.h"
#include "platform/Failure.h"

#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
constexpr qsizetype MiB = qsizetype{1} << 20;

QByteArray page(const QByteArray& title, const QByteArray& body = {})
{
    return "<!doctype html><title>" + title + "</title>" + body;
}

QByteArray gzip(const QByteArray& data)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c")});
    gzip.write(data);
    gzip.closeWriteChannel();
    gzip.waitForFinished();
    return gzip.readAllStandardOutput();
}

QByteArray gzippedPage; // made once, before the server asks for it

// /page/NAME is a plain page titled NAME; the others are hostile, N their size in MiB (MB for
// the decoded gzip page).
HttpResponse respond(const QString& path)
{
    HttpResponse response;
    const QString kind = path.section(QLatin1Char('/'), 1, 1);
    const QByteArray argument = path.section(QLatin1Char('/'), 2).toLatin1();
    if (kind == QLatin1String("page")) {
        response.body = page(argument);
    } else if (kind == QLatin1String("html-no-length")) {
        response.declareLength = false;
        response.body = "<p>" + QByteArray(MiB - 3, 'x');
        response.repeat = argument.toInt();
    } else if (kind == QLatin1String("gzip-html")) {
        response.headers = {{"Content-Encoding", "gzip"}};
        response.body = gzippedPage;
    } else if (kind == QLatin1String("console")) {
        response.body = page("console", "<script>console.log('x'.repeat(" + argument +
                                            " * 1024 * 1024))</script>");
    } else if (kind == QLatin1String("error")) {
        response.body = page("error", "<script>throw new Error('x'.repeat(" + argument +
                                          " * 1024 * 1024))</script>");
    } else {
        response.status = 404;
        response.body = page("missing");
    }
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

    void browserOutlivesHostilePage_data();
    void browserOutlivesHostilePage();

private:
    ChromiumBrowser& window() { return static_cast<ChromiumBrowser&>(*m_main); }
    ChromiumBrowser& hidden() { return static_cast<ChromiumBrowser&>(*m_hidden); }
    QString titleOnShow();

    QTemporaryDir m_home;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<QTemporaryDir> m_profile;
    std::unique_ptr<ChromiumBrowserFactory> m_factory;
    std::unique_ptr<Browser> m_main;
    std::unique_ptr<Browser> m_hidden;
};

void HostilePagesTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: run under xvfb-run");
    if (ChromiumBrowserFactory::findExecutable().isEmpty())
        QSKIP("no Chromium on PATH");
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/.config")).toUtf8());
    gzippedPage = gzip(page("gzip") + QByteArray(70 * 1000 * 1000, 'x'));
    m_server = std::make_unique<LocalHttpServer>(respond);
}

// A fresh pair for each row, made as the program makes it, so that a row that ends the browser
// fails alone.
void HostilePagesTest::init()
{
    m_profile = std::make_unique<QTemporaryDir>();
    m_factory = std::make_unique<ChromiumBrowserFactory>(QString(), m_profile->path());
    m_main = m_factory->create();
    m_hidden = m_factory->create();
    m_main->watchStepKeys([](StepKey) {});
    window().watchLoadEvents();
    m_hidden->setVisible(false);
    m_main->setVisible(true);
}

void HostilePagesTest::cleanup()
{
    try {
        if (m_main)
            m_main->Quit();
    } catch (const Failure&) {
        // The row has failed already; the browser went with it.
    }
    m_hidden.reset();
    m_main.reset();
    m_factory.reset();
}

QString HostilePagesTest::titleOnShow()
{
    return window()
        .connection()
        .command(QStringLiteral("Target.getTargetInfo"),
                 {{QStringLiteral("targetId"), window().targetId()}})
        .value(QStringLiteral("targetInfo"))
        .toObject()
        .value(QStringLiteral("title"))
        .toString();
}

void HostilePagesTest::browserOutlivesHostilePage_data()
{
    QTest::addColumn<QString>("onShow");
    QTest::addColumn<QString>("next");
    const QString plain = QStringLiteral("/page/shown");
    const QString plainNext = QStringLiteral("/page/next");
    QTest::newRow("next: HTML of 50 MiB without length")
        << plain << QStringLiteral("/html-no-length/50");
    QTest::newRow("next: HTML of 80 MiB without length")
        << plain << QStringLiteral("/html-no-length/80");
    // Within the bound: loaded ahead, handed to the browser whole.
    QTest::newRow("next: HTML of 30 MiB without length")
        << plain << QStringLiteral("/html-no-length/30");
    QTest::newRow("next: gzip HTML of 70 MB decoded") << plain << QStringLiteral("/gzip-html/70");
    QTest::newRow("on show: console message of 70 MiB")
        << QStringLiteral("/console/70") << plainNext;
    QTest::newRow("on show: Error of 70 MiB") << QStringLiteral("/error/70") << plainNext;
}

void HostilePagesTest::browserOutlivesHostilePage()
{
    QFETCH(QString, onShow);
    QFETCH(QString, next);
    // The peak of the program's memory counts from here (where the kernel lets it be reset).
    QFile peak(QStringLiteral("/proc/self/clear_refs"));
    if (peak.open(QIODevice::WriteOnly))
        peak.write("5");
    peak.close();
    const qint64 idleKiB = statusKiB(QStringLiteral("self"), "VmRSS");

    // A step: the window shows one link while the hidden instance loads the next.
    m_main->Navigate(m_server->url(onShow));
    m_hidden->Navigate(m_server->url(next));
    // What either page does has played out once both have loaded, or failed to.
    QVERIFY(window().waitForLoadEvent(60000));
    QVERIFY(hidden().waitForLoadEvent(60000));

    const qint64 peakKiB = statusKiB(QStringLiteral("self"), "VmHWM");
    qint64 browserPeakKiB = 0;
    for (const pid_t pid :
         browserProcesses(window().connection().processGroup(), m_profile->path()))
        browserPeakKiB = qMax(browserPeakKiB, statusKiB(QString::number(pid), "VmHWM"));
    qInfo("program RSS %lld MB idle, %lld MB peak; largest browser process %lld MB peak",
          idleKiB / 1024, peakKiB / 1024, browserPeakKiB / 1024);

    QVERIFY(window().connection().isAlive());
    QCOMPARE(::kill(window().connection().processGroup(), 0), 0);
    QVERIFY(window().connection().hasTarget(window().targetId()));
    QVERIFY(window().connection().hasTarget(hidden().targetId()));
    m_main->Navigate(m_server->url(QStringLiteral("/page/plain")));
    QVERIFY(window().waitForLoadEvent(10000));
    QTRY_COMPARE(titleOnShow(), QStringLiteral("plain"));
    QVERIFY2(peakKiB - idleKiB < 100 * 1024, "the program held a hostile page whole");
}

QTEST_GUILESS_MAIN(HostilePagesTest)
#include "test_hostile_pages.moc"
