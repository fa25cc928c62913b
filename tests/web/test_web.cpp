#include "app/ClassicComboBox.h"
#include "app/SingleToolbar.h"
#include "capture/CaptureCommands.h"
#include "session/WebThemeSource.h"
#include "support/Harness.h"
#include "themes/ThemeCommands.h"
#include "web/WebAddress.h"

#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSslConfiguration>
#include <QTest>

namespace {
// How long a wait for the server or the reading may last before the test fails: long, so that
// a busy machine never fails a test that would pass.
constexpr int patience = 60000;
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
    // The requests that the server logged, one JSON line each.
    static QList<QByteArray> requests(const QString& dir)
    {
        QFile log(dir + "/log");
        return log.open(QIODevice::ReadOnly) ? log.readAll().trimmed().split('\n')
                                             : QList<QByteArray>();
    }
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
    std::unique_ptr<SingleToolbar> running;

    static void limit(SessionHarness& harness)
    {
        harness.m->theme().web().limits = {1 << 20, std::chrono::milliseconds(1500),
                                           std::chrono::seconds(4), 5};
    }
    // Opens and waits for the answer, however slowly the server gives it.
    void open(const QString& address)
    {
        h->run([&] { h->m->theme().LoadNamedThemeFile(address); });
        QTRY_VERIFY_WITH_TIMEOUT(h->m->theme().awaited().isEmpty(), patience);
    }
    // As a second start hands a file over, through the running toolbar's socket.
    void handOver(const QString& file)
    {
        QVERIFY(SingleToolbar(running->objectName()).handOverOrListen(file));
    }
    // One timed step, and the answer to the question it asked the server.
    void round()
    {
        h->run([this] { h->m->theme().TimedStep(); });
        QTRY_VERIFY_WITH_TIMEOUT(!h->m->theme().web().asking(), patience);
    }
    qsizetype logCount(const QString& part) { return h->logMessages().filter(part).size(); }
    // Whether the list server logged `entry`.
    bool logged(const QByteArray& entry) const
    {
        return ListServer::requests(cache->path()).contains(entry);
    }

private slots:
    void init()
    {
        if (!cache) // a second start in a test keeps it
            cache = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", cache->path().toUtf8());
        h = std::make_unique<SessionHarness>();
        h->start();
        limit(*h);
        running = std::make_unique<SingleToolbar>(cache->path() + "/socket");
        running->setObjectName(cache->path() + "/socket");
        QVERIFY(!running->handOverOrListen(QString()));
        connect(running.get(), &SingleToolbar::requested, this,
                [this](const QString& file) { h->run([&] { OpenThemeFile(*h->m, file); }); });
    }
    void cleanup()
    {
        running.reset();
        cache.reset();
    }

    void opensAddressAsAFile_data()
    {
        QTest::addColumn<bool>("https");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("links");
        QTest::addColumn<QString>("password");
        QTest::newRow("http") << false << "/list.qld" << 2 << "secret";
        QTest::newRow("https, a certificate the test trusts")
            << true << "/list.qld" << 2 << "secret";
        QTest::newRow("gzip") << false << "/gzip" << 1 << "secret";
        QTest::newRow("redirect") << false << "/to-list" << 2 << "secret";
        QTest::newRow("five relative redirects") << false << "/hop/5" << 2 << "secret";
        QTest::newRow("a password holding @") << false << "/list.qld" << 2 << "p@ss w@rd";
    }
    void opensAddressAsAFile()
    {
        QFETCH(bool, https);
        QFETCH(QString, path);
        QFETCH(QString, password);
        const QString scheme = https ? "https" : "http";
        ListServer server(cache->path(), https ? "trusted" : "none");
        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        trusting.addCaCertificates(cache->path() + "/certs/ca.pem");
        QSslConfiguration::setDefaultConfiguration(trusting);
        const QString address = server.url(path, scheme).replace("://", "://ann:" + password + '@');
        handOver(address);
        QTRY_VERIFY_WITH_TIMEOUT(
            h->m->theme().ThemeFile() == address && h->m->theme().awaited().isEmpty(), patience);
        QFETCH(int, links);
        QCOMPARE(h->toolbar.entries.size(), links);
        QCOMPARE(h->m->theme().ThemeFile(), address);
        QVERIFY(h->toolbar.caption.endsWith(server.url(path, scheme).toUpper()));
        QCOMPARE(h->logMessages().last(), ' ' + server.url(path, scheme) + " opens normally");
        QVERIFY(!h->logMessages().join("").contains(password));
        // Each hop is asked for once.
        QStringList paths;
        for (const QByteArray& entry : ListServer::requests(cache->path()))
            paths << QJsonDocument::fromJson(entry)["path"].toString();
        QCOMPARE(QSet<QString>(paths.begin(), paths.end()).size(), paths.size());
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
        // How often the reason is logged once a later round meets it too: a 304 then means
        // that the list did not change.
        QTest::addColumn<int>("rounds");
        QTest::newRow("/404") << "answered 404" << 2;
        QTest::newRow("/500") << "answered 500 Internal Server Error" << 2;
        QTest::newRow("/304") << "answered 304 Not Modified to a first reading" << 1;
        QTest::newRow("/hop/6") << "sent on more than 5 times" << 2;
        QTest::newRow("/big") << "larger than 1 MiB" << 2;
        QTest::newRow("/big-undeclared") << "larger than 1 MiB" << 2;
        QTest::newRow("/endless") << "did not end in time" << 2;
        QTest::newRow("/bomb") << "could not be unpacked within bounds" << 2;
        QTest::newRow("/loop") << "sent on in a circle" << 2;
        QTest::newRow("/to-file") << "not http or https (file)" << 2;
        QTest::newRow("/to-ftp") << "not http or https (ftp)" << 2;
        QTest::newRow("/html") << "a web page" << 2;
        QTest::newRow("/html-as-text") << "a web page" << 2;
        QTest::newRow("/binary") << "binary data" << 2;
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
        // Every reason reads as a sentence: no empty brackets or dangling colons of Qt's texts.
        const QString told = h->logMessages().filter(reason).first();
        QVERIFY2(told.startsWith(' ' + server.url(route) + " could not be read: ") &&
                     !told.contains("()") && !told.contains(": )") && !told.contains("  "),
                 qPrintable(told));

        open(server.url("/list.qld"));
        write(cache->path() + "/list.qld.route", route.toUtf8());
        write(cache->path() + "/list.qld", threeLinks);
        round();
        round();
        QCOMPARE(h->toolbar.entries.size(), 2);
        QFETCH(int, rounds);
        QCOMPARE(logCount(reason), rounds);
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
        // The server logs an answer once it has gone, which may be after it came.
        QTRY_COMPARE_WITH_TIMEOUT(ListServer::requests(cache->path()).size(), 3, patience);
        const QList<QByteArray> requests = ListServer::requests(cache->path());
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
        QVERIFY(h->toolbar.caption.endsWith("    " + address.toUpper()));
        round();
        round();
        QCOMPARE(logCount("could not be read"), 1);
        QCOMPARE(logCount("copy kept from its last reading"), 1);
    }

    // While a list is on its way the toolbar works on the list it has, and a later request
    // stands over it: the earlier answer is dropped, and neither a local file nor another
    // list's copy ever gets its bytes.
    void laterRequestStandsOverAListOnItsWay_data()
    {
        QTest::addColumn<QString>("later");
        QTest::newRow("a local file") << "mine";
        QTest::newRow("another list on the web") << "web";
        QTest::newRow("a pick from the list") << "pick";
    }
    void laterRequestStandsOverAListOnItsWay()
    {
        QFETCH(QString, later);
        ListServer server(cache->path());
        write(cache->path() + "/slow.qld", "http://web.example/1\nhttp://web.example/2\n\n");
        const QString slow = server.url("/held/slow.qld");
        handOver(slow);
        QTRY_VERIFY_WITH_TIMEOUT(logged(R"({"path": "/held/slow.qld", "status": "held"})"),
                                 patience);
        QCOMPARE(h->m->theme().awaited(), slow);
        QVERIFY(h->toolbar.caption.endsWith(slow.toUpper() + " - READING"));
        h->run([this] { h->m->theme().MoveRight(); });
        QCOMPARE(h->m->theme().LinkIndex(), 2);

        const QString mine = cache->path() + "/mine.qld";
        write(mine, threeLinks);
        if (later == "mine")
            handOver(mine);
        else if (later == "web")
            handOver(server.url("/list.qld"));
        else
            h->run([this] { h->m->theme().SelectFromList(); });
        QTRY_VERIFY_WITH_TIMEOUT(h->m->theme().awaited().isEmpty(), patience);
        QTRY_VERIFY_WITH_TIMEOUT(logged(R"({"path": "/held/slow.qld", "status": "closed"})"),
                                 patience);
        write(cache->path() + "/slow.qld.go", {});

        QCOMPARE(logCount(" is no longer awaited: a later request stands over it"), 1);
        QVERIFY(!QFile::exists(WebAddress::cacheFile(slow)));
        QCOMPARE(h->read(mine), threeLinks);
        if (later == "mine") {
            QCOMPARE(h->toolbar.entries.size(), 3);
            QCOMPARE(logCount("mine.qld opens normally"), 1);
        } else if (later == "web") {
            QTRY_VERIFY_WITH_TIMEOUT(h->m->theme().awaited().isEmpty(), patience);
            QCOMPARE(h->toolbar.entries.size(), 2);
            QCOMPARE(h->read(WebAddress::cacheFile(server.url("/list.qld"))), twoLinks);
        }
        QVERIFY(h->toolbar.caption.endsWith(
            "    " + WebAddress::shown(h->m->theme().ThemeFile()).toUpper()));
    }

    // A change that arrives while the user has the list dropped down waits until it closes.
    void droppedDownListIsNotChangedUnderThePointer()
    {
        h.reset();
        Harness app;
        app.start();
        limit(app);
        ListServer server(cache->path());
        app.run([&] { app.m->theme().LoadThemeFile(server.url("/list.qld")); });
        QTRY_VERIFY_WITH_TIMEOUT(app.m->theme().awaited().isEmpty(), patience);
        auto* list = app.form->findChild<ClassicComboBox*>("Combo1");
        list->findChild<QComboBox*>()->showPopup();
        QTRY_VERIFY_WITH_TIMEOUT(list->listShown(), patience);

        write(cache->path() + "/list.qld", threeLinks);
        app.run([&] { app.m->theme().TimedStep(); });
        QTRY_VERIFY_WITH_TIMEOUT(!app.m->theme().web().asking(), patience);
        QCOMPARE(list->count(), 2);
        list->findChild<QComboBox*>()->hidePopup();
        QTRY_COMPARE_WITH_TIMEOUT(list->count(), 3, patience);
    }
};

QTEST_MAIN(WebThemeTest)
#include "test_web.moc"
