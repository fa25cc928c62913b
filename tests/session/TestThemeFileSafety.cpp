#include "LinkTestSupport.h"
#include "SessionTests.h"

#include "support/SessionHarness.h"
#include "themefile/ThemeTidy.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {
// About 2 MB: long links, each followed by an empty line, so that every load rewrites it.
QByteArray bigUntidyTheme()
{
    QByteArray bytes;
    for (int i = 1; i <= 500; ++i)
        bytes += "http://site.example/" + QByteArray::number(i) + '/' + QByteArray(4000, 'x') +
                 "\r\n\r\n";
    return bytes;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
} // namespace

class TestThemeFileSafety : public QObject
{
    Q_OBJECT

private slots:
    void readOnlyThemeFileStillLoads_data()
    {
        QTest::addColumn<bool>("wholeFolder");
        QTest::newRow("immutable file") << false;
        QTest::newRow("immutable folder") << true;
    }
    void readOnlyThemeFileStillLoads()
    {
        QFETCH(bool, wholeFolder);
        SessionHarness h;
        h.start();
        QVERIFY(QDir(h.installDir).mkdir(QStringLiteral("shelf")));
        const QByteArray untidy("http://a/\r\n\r\nhttp://b/,http://c/");
        h.write("shelf/list.qld", untidy);
        const QStringList before = folderEntries(h.path("shelf"));
        const ImmutableFile flag(wholeFolder ? h.path("shelf") : h.path("shelf/list.qld"));
        if (!flag.made())
            QSKIP(
                "This file system refuses the immutable flag, so no write can be refused to root");

        h.run([&h] { h.m->theme().LoadThemeFile(h.path("shelf/list.qld")); });

        QCOMPARE(comboEntries(h), (QStringList{"http://a/", "http://b/", "http://c/"}));
        QCOMPARE(h.m->theme().LinkCount(), 3);
        QCOMPARE(h.dialogs.boxes.size(), 0);
        QCOMPARE(h.logMessages().constLast(), ' ' + h.m->theme().ThemeFile() + " opens normally");
        QCOMPARE(caption(h), "Quillon Version 2.8    " + h.m->theme().ThemeFile().toUpper());
        QCOMPARE(readFile(h.m->theme().ThemeFile()), untidy);
        QCOMPARE(folderEntries(h.path("shelf")), before);
    }

    void killedLoadLeavesTheFileWhole()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString installDir = dir.path() + "/Quillon2/";
        QVERIFY(QDir().mkpath(installDir));
        const QString theme = installDir + "big.qld";
        const QByteArray untidy = bigUntidyTheme();
        const QByteArray tidied = ThemeTidy::tidy(untidy);
        const QString source = dir.path() + "/untidy.qld";
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(untidy);
        file.close();

        QRandomGenerator random(20260103);
        int foundOld = 0;
        int foundNew = 0;
        for (int round = 0; round < 50; ++round) {
            QProcess child;
            child.start(QStringLiteral(THEME_LOAD_LOOP), {installDir, theme, source});
            QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
            while (!child.canReadLine())
                QVERIFY2(child.waitForReadyRead(60000), "the load loop never finished a load");
            // Anywhere within about two rounds of loading and putting the old bytes back.
            const int roundMs = child.readLine().split(' ').value(1).trimmed().toInt();
            QThread::usleep(random.bounded(2000 * (roundMs + 1)));
            child.kill();
            QVERIFY(child.waitForFinished());
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);

            const QByteArray found = readFile(theme);
            QVERIFY2(found == untidy || found == tidied,
                     qPrintable(QStringLiteral("round %1: %2 bytes, neither old nor new")
                                    .arg(round)
                                    .arg(found.size())));
            (found == untidy ? foundOld : foundNew)++;
            QVERIFY(!QFile::exists(installDir + "temp.dat"));
        }
        qInfo("killed 50 times: old bytes found %d times, tidied bytes %d times", foundOld,
              foundNew);
    }
};

std::unique_ptr<QObject> makeThemeFileSafetyTests()
{
    return std::make_unique<TestThemeFileSafety>();
}

#include "TestThemeFileSafety.moc"
