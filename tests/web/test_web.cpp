#include "capture/CaptureCommands.h"
#include "session/WebThemeSource.h"
#include "support/SessionHarness.h"
#include "themes/ThemeCommands.h"

#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QTest>

namespace {
const QByteArray twoLinks = "http://site.example/1\r\nhttp://site.example/2\r\n";
const QByteArray threeLinks = twoLinks + "http://site.example/3\r\n";

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// list_server.py on a free port, serving <dir>/list.qld; each request one line in <dir>/log.
struct ListServer
{
    explicit ListServer(const QString& dir, const QString& tls = "none")
    {
        write(dir + "/list.qld", twoLinks);
        process.start("python3", {LIST_SERVER, dir + "/list.qld", dir + "/log", tls});
        while (!process.canReadLine() && process.waitForReadyRead(-1)) {
        }
        port = process.readLine().trimmed().toInt();
    }
    ~ListServer() { process.kill(), process.waitForFinished(); }
    QString url(const QString& path, const QString& scheme = "http") const
    {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(port).arg(path);
    }

    QProcess process;
    int port = 0;
};
} // namespace

class WebThemeTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> cache;
    std::unique_ptr<SessionHarness> h;

    void open(const QString& address)
    {
        h->run([&] { h->m->theme().LoadNamedThemeFile(address); });
    }
    // One timed step, and the answer to the question it asked the server.
    void round()
    {
        h->run([this] { h->m->theme().TimedStep(); });
        QTRY_VERIFY(!h->m->theme().web().asking());
    }
    qsizetype logCount(const QString& part) { return h->logMessages().filter(part).size(); }

private slots:
    void init()
    {
        if (!cache) // a second start in a test keeps it
            cache = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", cache->path().toUtf8());
        h = std::make_unique<SessionHarness>();
        h->start();
        h->m->theme().web().limits = {1 << 20, std::chrono::milliseconds(1500),
                                      std::chrono::seconds(4), 5};
    }
    void cleanup() { cache.reset(); }

    void opensAddressAsAFile_data()
    {
        QTest::addColumn<bool>("https");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("links");
        QTest::newRow("http") << false << "/list.qld" << 2;
        QTest::newRow("https, a certificate the test trusts") << true << "/list.qld" << 2;
        QTest::newRow("gzip") << false << "/gzip" << 1;
        QTest::newRow("redirect") << false << "/to-list" << 2;
    }
    void opensAddressAsAFile()
    {
        QFETCH(bool, https);
        QFETCH(QString, path);
        const QString scheme = https ? "https" : "http";
        ListServer server(cache->path(), https ? "trusted" : "none");
        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        trusting.addCaCertificates(cache->path() + "/certs/ca.pem");
        QSslConfiguration::setDefaultConfiguration(trusting);
        const QString address = server.url(path, scheme).replace("://", "://ann:secret@");
        // As a second start hands it over.
        h->run([&] { OpenThemeFile(*h->m, address); });
        QFETCH(int, links);
        QCOMPARE(h->toolbar.entries.size(), links);
        QCOMPARE(h->m->theme().ThemeFile(), address);
        QVERIFY(h->toolbar.caption.endsWith(server.url(path, scheme).toUpper()));
        QCOMPARE(h->logMessages().last(), ' ' + server.url(path, scheme) + " opens normally");
        QVERIFY(!h->logMessages().join("").contains("secret"));
        // Only read: Grab and Edit say so and open nothing.
        h->run([this] { GrabCommand(*h->m); });
        h->run([this] { EditCommand(*h->m); });
        QCOMPARE(h->dialogs.boxes.size(), 2);
        QCOMPARE(h->dialogs.boxes.first().title, "Web Theme File");
        QVERIFY(!h->m->Form2 && !h->m->Form3);
    }

    // On the first open: the load's box and the default theme file. On a refresh: the list in
    // memory stays, and the outage is logged once however many rounds it lasts.
    void badAnswerLosesNothing_data()
    {
        QTest::addColumn<QString>("reason"); // the row's name is the answer's path
        QTest::newRow("/404") << "answered 404";
        QTest::newRow("/500") << "answered 500";
        QTest::newRow("/big") << "larger than 1 MiB";
        QTest::newRow("/big-undeclared") << "larger than 1 MiB";
        QTest::newRow("/endless") << "did not end in time";
        QTest::newRow("/bomb") << "could not be unpacked within bounds";
        QTest::newRow("/loop") << "sent on too many times";
        QTest::newRow("/to-file") << "not http or https (file)";
        QTest::newRow("/to-ftp") << "not http or https (ftp)";
        QTest::newRow("/html") << "a web page";
        QTest::newRow("/html-as-text") << "a web page";
        QTest::newRow("/binary") << "binary data";
    }
    void badAnswerLosesNothing()
    {
        const QString route = QTest::currentDataTag();
        QFETCH(QString, reason);
        ListServer server(cache->path());
        open(server.url(route).replace("://", "://ann:secret@"));
        QCOMPARE(h->dialogs.boxes.size(), 1);
        QCOMPARE(h->dialogs.boxes.first().text, "Theme File Error - WILL KEEP CURRENT THEME FILE.");
        QCOMPARE(h->m->theme().ThemeFile(), h->m->defaultThemeFile());
        QCOMPARE(logCount(reason), 1);

        open(server.url("/list.qld"));
        write(cache->path() + "/list.qld.route", route.toUtf8());
        write(cache->path() + "/list.qld", threeLinks);
        round();
        round();
        QCOMPARE(h->toolbar.entries.size(), 2);
        QCOMPARE(logCount(reason), 2);
        QCOMPARE(h->dialogs.boxes.size(), 1);
        QVERIFY(!h->logMessages().join("").contains("secret"));
    }

    void refusedCertificate()
    {
        ListServer server(cache->path(), "untrusted");
        open(server.url("/list.qld", "https"));
        QCOMPARE(logCount("certificate does not verify"), 1);
    }

    // Unchanged rounds cost a conditional request and no body; a change is taken at the next
    // step with the position kept, as an outside change of a file is. Started again without the
    // server, the toolbar shows the last list read.
    void listFollowsTheServerAndOutlivesIt()
    {
        auto server = std::make_unique<ListServer>(cache->path());
        const QString address = server->url("/list.qld");
        open(address);
        round();
        round();
        QFile log(cache->path() + "/log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> requests = log.readAll().trimmed().split('\n');
        QCOMPARE(requests.size(), 3);
        for (const QByteArray& entry : requests.mid(1))
            QVERIFY(entry.contains("\"status\": 304, \"body\": 0") &&
                    entry.contains("\"if_none_match\": \"\\\""));
        write(cache->path() + "/list.qld", threeLinks);
        round();
        QCOMPARE(h->toolbar.entries.size(), 3);
        QCOMPARE(h->m->theme().LinkIndex(), 2);
        QCOMPARE(logCount("opens normally"), 3);

        server.reset();
        init();
        open(address);
        QCOMPARE(h->toolbar.entries.size(), 3);
        QVERIFY(h->dialogs.boxes.isEmpty());
        round();
        round();
        QCOMPARE(logCount("could not be read"), 1);
        QCOMPARE(logCount("copy kept from its last reading"), 1);
    }
};

QTEST_MAIN(WebThemeTest)
#include "test_web.moc"
