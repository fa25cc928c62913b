#include "capture/CaptureCommands.h"
#include "session/WebThemeSource.h"
#include "support/SessionHarness.h"
#include "themes/ThemeCommands.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslConfiguration>
#include <QTest>

namespace {
const QByteArray twoLinks = "http://site.example/1\r\nhttp://site.example/2\r\n";
const QByteArray threeLinks = twoLinks + "http://site.example/3\r\n";
const QString missingBox = QStringLiteral("Theme File Error - WILL KEEP CURRENT THEME FILE.");

// list_server.py on a free port, serving <dir>/list.qld; each request one line in its log.
struct ListServer
{
    ListServer(const QString& dir, const QString& tls = {}) : dir(dir)
    {
        setList(twoLinks);
        QStringList arguments{LIST_SERVER,  "--list",  dir + "/list.qld", "--log",
                              dir + "/log", "--certs", dir + "/certs"};
        if (!tls.isEmpty())
            arguments << "--tls" << tls;
        process.start("python3", arguments);
        while (!process.canReadLine() && process.waitForReadyRead(-1)) {
        }
        port = process.readLine().trimmed().toInt();
    }
    ~ListServer() { process.kill(), process.waitForFinished(); }
    QString url(const QString& path, const QString& scheme = "http") const
    {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(port).arg(path);
    }
    void setList(const QByteArray& bytes) const { write("/list.qld", bytes); }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(dir + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QList<QJsonObject> log() const
    {
        QFile file(dir + "/log");
        QList<QJsonObject> entries;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    entries << QJsonDocument::fromJson(line).object();
        return entries;
    }

    QString dir;
    QProcess process;
    int port = 0;
};
} // namespace

class WebThemeTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> cache;
    std::unique_ptr<SessionHarness> h;

    WebThemeSource& web() { return h->m->theme().web(); }
    void open(const QString& address)
    {
        h->run([&] { h->m->theme().LoadNamedThemeFile(address); });
    }
    // One timed step, and the answer of the refresh it asked for.
    void round()
    {
        h->run([this] { h->m->theme().TimedStep(); });
        QTRY_VERIFY(!web().asking());
    }
    qsizetype logCount(const QString& fragment) { return h->logMessages().filter(fragment).size(); }

private slots:
    void init()
    {
        cache = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CACHE_HOME", cache->path().toUtf8());
        h = std::make_unique<SessionHarness>();
        h->start();
        web().limits = {1024 * 1024, std::chrono::milliseconds(1500), std::chrono::seconds(4), 5};
    }

    void opensAddressAsAFile_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("links");
        const QStringList two{"http://site.example/1", "http://site.example/2"};
        QTest::newRow("http") << "http"
                              << "/list.qld" << two;
        QTest::newRow("https, a certificate the test trusts") << "https"
                                                              << "/list.qld" << two;
        QTest::newRow("gzip") << "http"
                              << "/gzip" << QStringList{"http://site.example/gz"};
        QTest::newRow("redirect") << "http"
                                  << "/to-list" << two;
    }
    void opensAddressAsAFile()
    {
        QFETCH(QString, scheme);
        QFETCH(QString, path);
        ListServer server(cache->path(), scheme == "https" ? "trusted" : "");
        if (scheme == "https") {
            QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
            trusting.addCaCertificates(cache->path() + "/certs/ca.pem");
            QSslConfiguration::setDefaultConfiguration(trusting);
        }
        const QString address = server.url(path, scheme).replace("://", "://ann:secret@");
        // As a second start hands it over.
        h->run([&] { OpenThemeFile(*h->m, address); });
        QFETCH(QStringList, links);
        QCOMPARE(h->toolbar.entries, links);
        QCOMPARE(h->m->theme().ThemeFile(), address);
        QVERIFY(h->toolbar.caption.endsWith(server.url(path, scheme).toUpper()));
        QCOMPARE(h->logMessages().last(), ' ' + server.url(path, scheme) + " opens normally");
        QVERIFY(!h->logMessages().join("").contains("secret"));
        QVERIFY(h->dialogs.boxes.isEmpty());
    }

    void badAnswerLosesNothing_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("reason");
        QTest::newRow("404") << "/404"
                             << "answered 404";
        QTest::newRow("500") << "/500"
                             << "answered 500";
        QTest::newRow("past the bound") << "/big"
                                        << "larger than 1 MiB";
        QTest::newRow("past the bound, undeclared") << "/big-undeclared"
                                                    << "larger than 1 MiB";
        QTest::newRow("never ends") << "/endless"
                                    << "did not end in time";
        QTest::newRow("gzip bomb") << "/bomb"
                                   << "larger than 1 MiB";
        QTest::newRow("redirect loop") << "/loop"
                                       << "sent on too many times";
        QTest::newRow("redirect to file:") << "/to-file"
                                           << "not http or https (file)";
        QTest::newRow("redirect to ftp:") << "/to-ftp"
                                          << "not http or https (ftp)";
        QTest::newRow("html") << "/html"
                              << "a web page";
        QTest::newRow("html as text") << "/html-as-text"
                                      << "a web page";
        QTest::newRow("binary") << "/binary"
                                << "binary data";
    }
    // On the first open: the load's box and the default theme file. On a refresh: the list in
    // memory stays, and the outage is logged once.
    void badAnswerLosesNothing()
    {
        QFETCH(QString, route);
        QFETCH(QString, reason);
        ListServer server(cache->path());
        open(server.url(route));
        QCOMPARE(h->dialogs.boxes.size(), 1);
        QCOMPARE(h->dialogs.boxes.first().text, missingBox);
        QCOMPARE(h->m->theme().ThemeFile(), h->m->defaultThemeFile());
        QCOMPARE(logCount(reason), 1);

        open(server.url("/list.qld"));
        server.write("/list.qld.route", route.toUtf8());
        server.setList(threeLinks);
        round();
        round();
        QCOMPARE(h->toolbar.entries.size(), 2);
        QCOMPARE(logCount(reason), 2);
        QCOMPARE(h->dialogs.boxes.size(), 1);
    }

    void refusedCertificate()
    {
        ListServer server(cache->path(), "untrusted");
        open(server.url("/list.qld", "https"));
        QCOMPARE(h->m->theme().ThemeFile(), h->m->defaultThemeFile());
        QCOMPARE(logCount("certificate does not verify"), 1);
    }

    // Unchanged rounds cost a conditional request and no body; a change is taken at the next
    // step with the position kept, as an outside change of a file is.
    void changedListIsTakenAtTheNextRound()
    {
        ListServer server(cache->path());
        open(server.url("/list.qld"));
        round();
        round();
        QCOMPARE(server.log().size(), 3);
        for (const QJsonObject& entry : server.log().mid(1)) {
            QCOMPARE(entry["status"].toInt(), 304);
            QVERIFY(!entry["if_none_match"].toString().isEmpty());
        }
        server.setList(threeLinks);
        round();
        QCOMPARE(h->toolbar.entries.size(), 2);
        const qsizetype loads = logCount("opens normally");
        h->run([this] { h->m->theme().TimedStep(); });
        QCOMPARE(h->toolbar.entries.size(), 3);
        QCOMPARE(h->m->theme().LinkIndex(), 3);
        QCOMPARE(logCount("opens normally"), loads + 1);
    }

    void offlineStartShowsTheLastList()
    {
        QString address;
        {
            ListServer server(cache->path());
            server.setList(threeLinks);
            address = server.url("/list.qld");
            open(address);
        }
        h = std::make_unique<SessionHarness>();
        h->start();
        open(address);
        QCOMPARE(h->toolbar.entries.size(), 3);
        QVERIFY(h->dialogs.boxes.isEmpty());
        round();
        round();
        QCOMPARE(logCount("could not be read"), 1);
        QCOMPARE(logCount("copy kept from its last reading"), 1);
    }

    void grabAndEditRefuseAWebList()
    {
        ListServer server(cache->path());
        open(server.url("/list.qld"));
        h->run([this] { GrabCommand(*h->m); });
        h->run([this] { EditCommand(*h->m); });
        QCOMPARE(h->dialogs.boxes.size(), 2);
        QCOMPARE(h->dialogs.boxes.first().title, "Web Theme File");
        QVERIFY(!h->m->Form2 && !h->m->Form3);
    }
};

QTEST_MAIN(WebThemeTest)
#include "test_web.moc"
