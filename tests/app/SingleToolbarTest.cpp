#include "app/SingleToolbar.h"
#include "AppTests.h"

#include <QDialog>
#include <QFile>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// Two copies of the program, each with its own end of the same kind of socket, in one process.
class TestSingleToolbar : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_name = m_dir.filePath(QStringLiteral("quillon-display:99"));
    const QProcessEnvironment m_started = QProcessEnvironment::systemEnvironment();

private slots:
    void cleanup()
    {
        for (const char* name : {"DISPLAY", "XDG_RUNTIME_DIR", "TMPDIR", "XDG_CACHE_HOME"})
            m_started.contains(name) ? qputenv(name, m_started.value(name).toLocal8Bit())
                                     : qunsetenv(name);
    }

    // A copy runs on ":77" without a session folder; a name in the shared temporary folder that
    // another user took, or left open, is passed over. By TCP a display ("localhost:77", as ssh
    // forwards one) may be another machine's screen, so it is another screen.
    void secondStartOnTheSameScreenReachesTheFirst_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("taken");
        for (const char* display :
             {":77", ":77.0", "unix:77", "unix:77.0", ":077.00", "localhost:77", ":77.1"})
            QTest::newRow(display) << display << QString();
        for (const char* taken : {"another user's", "writable by all", "a link"})
            QTest::newRow(taken) << ":77.0" << taken;
    }
    void secondStartOnTheSameScreenReachesTheFirst()
    {
        QFETCH(QString, display);
        QFETCH(QString, taken);
        QTemporaryDir shared;
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(shared.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.path()));
        qputenv("DISPLAY", ":77");
        const QString first = shared.filePath("quillon-runtime-" + QString::number(::geteuid()));
        const QByteArray name = QFile::encodeName(first);
        if (taken == "another user's" && ::geteuid() != 0)
            QSKIP("Only root can make a folder that another user owns");
        if (taken == "a link")
            QVERIFY(QFile::link(m_dir.path(), first));
        else if (!taken.isEmpty())
            QVERIFY(::mkdir(name.constData(), 0700) == 0 && ::chmod(name.constData(), 0777) == 0);
        if (taken == "another user's") // nobody
            QVERIFY(::chmod(name.constData(), 0700) == 0 &&
                    ::chown(name.constData(), 65534, 0) == 0);
        SingleToolbar running(SingleToolbar::socketName());
        QVERIFY(!running.handOverOrListen(QString()));
        QCOMPARE(SingleToolbar::socketName().startsWith(first + '/'), taken.isEmpty());
        QSignalSpy requests(&running, &SingleToolbar::requested);
        qputenv("DISPLAY", display.toUtf8());
        const bool sameScreen = !display.startsWith("localhost") && !display.endsWith(".1");
        QCOMPARE(SingleToolbar(SingleToolbar::socketName()).handOverOrListen("/a.qld"), sameScreen);
        QTRY_COMPARE(requests.size(), sameScreen ? 1 : 0);
    }

    void secondStartHandsOverAndEnds_data()
    {
        QTest::addColumn<QString>("themeFile");
        QTest::addColumn<bool>("leftBehind"); // the socket file of a killed copy is there
        QTest::newRow("a theme file")
            << QStringLiteral("/home/ana/Lektion \u00dcbung.qld") << false;
        QTest::newRow("a name with a line break") << QStringLiteral("/tmp/a\nb.qld") << false;
        QTest::newRow("no file: to the front") << QString() << false;
        QTest::newRow("over a socket left behind") << QStringLiteral("/a.qld") << true;
    }
    void secondStartHandsOverAndEnds()
    {
        QFETCH(QString, themeFile);
        QFETCH(bool, leftBehind);
        QFile::remove(m_name);
        if (leftBehind) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray path = QFile::encodeName(m_name);
            std::copy(path.begin(), path.end(), address.sun_path);
            const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
            QCOMPARE(::bind(left, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
            ::close(left);
        }
        SingleToolbar running(m_name);
        QVERIFY(!running.handOverOrListen(QStringLiteral("/first.qld")));
        QSignalSpy requests(&running, &SingleToolbar::requested);
        QVERIFY(SingleToolbar(m_name).handOverOrListen(themeFile));
        QTRY_COMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).at(0).toString(), themeFile);
    }

    // A handler runs under a modal dialog; the file opens once the dialog has closed.
    void requestWaitsForAnOpenDialog()
    {
        SingleToolbar running(m_name);
        QVERIFY(!running.handOverOrListen(QString()));
        QSignalSpy requests(&running, &SingleToolbar::requested);
        QDialog dialog;
        dialog.setModal(true);
        dialog.show();
        QVERIFY(SingleToolbar(m_name).handOverOrListen(QStringLiteral("/a.qld")));
        QTest::qWait(1000);
        QCOMPARE(requests.size(), 0);
        dialog.close();
        QTRY_COMPARE(requests.size(), 1);
    }
};

std::unique_ptr<QObject> makeSingleToolbarTests()
{
    return std::make_unique<TestSingleToolbar>();
}

#include "SingleToolbarTest.moc"
