#include "AppTests.h"
#include "app/SingleToolbar.h"

#include <QDialog>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// Two copies of the program, each with its own socket end, in one process: the hand-over is
// the same bytes through the same kind of socket.
class TestSingleToolbar : public QObject
{
    Q_OBJECT

private:
    QString socketIn(const QTemporaryDir& dir) const
    {
        return dir.filePath(QStringLiteral("quillon-display:99"));
    }

private slots:
    void secondStartHandsOverAndEnds_data()
    {
        QTest::addColumn<QString>("themeFile");
        QTest::newRow("a theme file") << QStringLiteral("/home/ana/Lektion \u00dcbung.qld");
        QTest::newRow("a name with a line break") << QStringLiteral("/tmp/a\nb.qld");
        QTest::newRow("no file: to the front") << QString();
    }
    void secondStartHandsOverAndEnds()
    {
        QFETCH(QString, themeFile);
        QTemporaryDir dir;
        SingleToolbar running;
        QVERIFY(!running.handOverOrListen(socketIn(dir), QString()));
        QSignalSpy requests(&running, &SingleToolbar::requested);
        SingleToolbar second;
        QVERIFY(second.handOverOrListen(socketIn(dir), themeFile));
        QTRY_COMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).at(0).toString(), themeFile);
    }

    // A killed copy leaves its socket file behind, which nobody answers.
    void startsOverASocketLeftBehind()
    {
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(socketIn(dir));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::copy(path.begin(), path.end(), address.sun_path);
        const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(left, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(left);
        QVERIFY(QFile::exists(socketIn(dir)));

        SingleToolbar running;
        QVERIFY(!running.handOverOrListen(socketIn(dir), QStringLiteral("/a.qld")));
        QSignalSpy requests(&running, &SingleToolbar::requested);
        QVERIFY(SingleToolbar().handOverOrListen(socketIn(dir), QStringLiteral("/b.qld")));
        QTRY_COMPARE(requests.size(), 1);
    }

    // A handler runs under a modal dialog; the file opens once the dialog has closed.
    void requestWaitsForAnOpenDialog()
    {
        QTemporaryDir dir;
        SingleToolbar running;
        QVERIFY(!running.handOverOrListen(socketIn(dir), QString()));
        QSignalSpy requests(&running, &SingleToolbar::requested);
        QDialog dialog;
        dialog.setModal(true);
        dialog.show();
        QVERIFY(SingleToolbar().handOverOrListen(socketIn(dir), QStringLiteral("/a.qld")));
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
