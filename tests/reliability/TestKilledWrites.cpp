#include "CaptureKills.h"
#include "ReliabilityTests.h"

#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(CaptureKills::Command)

class TestKilledWrites : public QObject
{
    Q_OBJECT

private slots:
    void killedCommandLeavesOldOrNewBytes_data()
    {
        QTest::addColumn<CaptureKills::Command>("command");
        QTest::newRow("Add It") << CaptureKills::Command::AddIt;
        QTest::newRow("Process") << CaptureKills::Command::Process;
    }
    void killedCommandLeavesOldOrNewBytes()
    {
        QFETCH(CaptureKills::Command, command);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());

        const KillRounds::Tally tally = CaptureKills::run(command, dir.path(), 30, 20261207);

        QCOMPARE(tally.runs, 30);
        QVERIFY2(tally.losses == 0, qPrintable(tally.firstLoss));
        qInfo("%s killed 30 times: as it was %d, as written %d, as tidied %d",
              qPrintable(CaptureKills::name(command)), tally.found.value(0), tally.found.value(1),
              tally.found.value(2));
    }
};

std::unique_ptr<QObject> makeKilledWritesTests()
{
    return std::make_unique<TestKilledWrites>();
}

#include "TestKilledWrites.moc"
