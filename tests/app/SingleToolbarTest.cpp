#include "app/SingleToolbar.h"
#include "AppTests.h"

#include <QDialog>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// Two copies of the program, each with its own end of the same kind of socket, in one process.
class TestSingleToolbar : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_name = m_dir.filePath(QStringLiteral("quillon-display:99"));

private slots:
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
