#include "log/ActivityLog.h"
#include "platform/Failure.h"
#include "support/MockClock.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestLog : public QObject
{
    Q_OBJECT

private:
    struct Fixture
    {
        QTemporaryDir temp;
        MockClock clock;
        ScriptedDialogs dialogs;
        QString path = temp.path() + QStringLiteral("/error.log");
        ActivityLog log{path, clock, dialogs};

        QByteArray bytes() const
        {
            QFile in(path);
            return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
        }
    };

private slots:
    void createsTheHeaderAndEntriesFollowIt()
    {
        Fixture f;
        f.log.InitActivityLog();
        f.log.WriteLogLine(QStringLiteral(" Program Activated"));
        const QByteArray expected =
            "Error log started 1/3/26 09:05\r\n"
            "The purpose of this file is to track usage and errors for later debugging.\r\n"
            "When reporting errors, please be sure to include a copy of this log.\r\n"
            "Email log and complete description of your problem to support@quillon.example.\r\n" +
            QByteArray(74, '=') + "\r\nQuillon Version 2.8\r\n" + QByteArray(74, '=') +
            "\r\n\r\n01/03/26 09:05 Program Activated\r\n";
        QCOMPARE(f.bytes(), expected);
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void existingLogIsNeverTouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("earlier run") << QByteArray("12/06/26 14:08 Program Activated\r\n");
        QTest::newRow("no line end") << QByteArray("partial");
    }
    void existingLogIsNeverTouched()
    {
        QFETCH(QByteArray, content);
        Fixture f;
        QFile out(f.path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();
        f.log.InitActivityLog();
        QCOMPARE(f.bytes(), content);
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void missingInstallDirectoryShowsError76AndCreatesNothing()
    {
        Fixture f;
        const QString dir = f.temp.path() + QStringLiteral("/Quillon2");
        ActivityLog log(dir + QStringLiteral("/error.log"), f.clock, f.dialogs);
        log.InitActivityLog();
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QCOMPARE(f.dialogs.boxes[0].text, QStringLiteral("Error  76"));
        QCOMPARE(f.dialogs.boxes[0].title, QStringLiteral("Error"));
        QVERIFY(f.dialogs.boxes[0].icon == BoxIcon::CriticalStop);
        QVERIFY(!QFileInfo::exists(dir));
    }

    void sessionEndStampsEachEntryThenTheTwoEndLines()
    {
        Fixture f;
        f.log.WriteSessionEnd({QStringLiteral(" Microsoft Explorer detection failure"),
                               QStringLiteral(" Program terminated with error")});
        QCOMPARE(f.bytes(), QByteArray("01/03/26 09:05 Microsoft Explorer detection failure\r\n"
                                       "01/03/26 09:05 Program terminated with error\r\n"
                                       "End of this session\r\n+\r\n"));
    }

    void appendingCreatesAMissingLogWithoutHeader()
    {
        Fixture f;
        f.clock.moment = QDateTime(QDate(2026, 12, 6), QTime(14, 8));
        f.log.WriteLogLine(QStringLiteral(" User visits support page"));
        f.log.WriteRecord(QStringLiteral("The following error was recoded:  9 "));
        QCOMPARE(f.bytes(), QByteArray("12/06/26 14:08 User visits support page\r\n"
                                       "The following error was recoded:  9 \r\n"));
    }

    void pathsAndAddressesAreWrittenAsUtf8()
    {
        Fixture f;
        f.log.WriteLogLine(QStringLiteral(" User edits /home/zoë/list.qld"));
        QCOMPARE(f.bytes(), QByteArray("01/03/26 09:05 User edits /home/zo\xc3\xab/list.qld\r\n"));
    }

    void controlCharactersAreWrittenVisibly_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("backslashes stay") << QStringLiteral(" User edits C:\\a\\n.qld")
                                          << QByteArray(" User edits C:\\a\\n.qld");
        QTest::newRow("CR LF") << QStringLiteral(" a\r\n01/03/26 09:05 Program terminated normally")
                               << QByteArray(" a\\r\\n01/03/26 09:05 Program terminated normally");
        QTest::newRow("lone LF, lone CR, tab") << QStringLiteral(" a\nb\rc\td")
                                               << QByteArray(" a\\nb\\rc\\td");
        QTest::newRow("NUL, ESC and DEL") << QString::fromUtf8(" a\0b\x1b[2J\x7f", 9)
                                          << QByteArray(" a\\x00b\\x1b[2J\\x7f");
        QTest::newRow("next line U+0085") << QStringLiteral(" a\u0085b") << QByteArray(" a\\x85b");
        QTest::newRow("line and paragraph separators")
            << QStringLiteral(" a\u2028b\u2029c") << QByteArray(" a\\u2028b\\u2029c");
        QTest::newRow("other text stays") << QStringLiteral(" zo\u00eb \u00a0\u20ac")
                                          << QByteArray(" zo\xc3\xab \xc2\xa0\xe2\x82\xac");
    }
    void controlCharactersAreWrittenVisibly()
    {
        QFETCH(QString, message);
        QFETCH(QByteArray, written);
        Fixture f;
        f.log.WriteLogLine(message);
        f.log.WriteSessionEnd({message});
        f.log.WriteRecord(message.mid(1));
        QCOMPARE(f.bytes(), "01/03/26 09:05" + written + "\r\n01/03/26 09:05" + written +
                                "\r\nEnd of this session\r\n+\r\n" + written.mid(1) + "\r\n");
    }

    void writeFailureReachesTheCaller()
    {
        Fixture f;
        ActivityLog log(f.temp.path() + QStringLiteral("/gone/error.log"), f.clock, f.dialogs);
        QVERIFY_THROWS_EXCEPTION(Failure, log.WriteLogLine(QStringLiteral(" x")));
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "test_log.moc"
