#include "CaptureTestSupport.h"

#include "capture/Form2.h"
#include "capture/Form3.h"
#include "platform/FileStore.h"
#include "support/ImmutableFile.h"
#include "support/SessionHarness.h"
#include "themes/ThemeCommands.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTest>

// Writes of Add It and Process that cannot lose the theme file.
class WriteSafetyTest : public CaptureTest
{
    Q_OBJECT

private slots:
    void failedWriteKeepsTheFileAndTheDialog_data()
    {
        addDialogColumn();
        QTest::newRow("Add It") << Dialog::Form2;
        QTest::newRow("Process") << Dialog::Form3;
    }
    void failedWriteKeepsTheFileAndTheDialog()
    {
        QFETCH(Dialog, dialog);
        SessionHarness h;
        startWith(h, threeLinks);
        QWidget* form = open(h, dialog);
        QVERIFY(form);
        setText(form, "http://typed/");
        const QStringList files = QDir(h.installDir).entryList(QDir::Files);
        const QStringList log = h.logMessages();
        {
            const ImmutableFile locked(h.path("default.qld"));
            if (!locked.made())
                QSKIP("chattr +i is not available here, so no write can be refused to root");
            clickIn(form, "Command1");
        }
        QCOMPARE(h.read("default.qld"), threeLinks);
        QCOMPARE(h.dialogs.boxes.size(), 1);
        QCOMPARE(h.dialogs.boxes[0].text, QStringLiteral("Uknown Error 75"));
        QCOMPARE(h.dialogs.boxes[0].title, QStringLiteral("Uknown Error"));
        QCOMPARE(h.logMessages(),
                 log + QStringList{" Uknown error  75 occurred trying to add link to " +
                                   h.path("default.qld")});
        QCOMPARE(openDialog(h, dialog), form);
        QVERIFY(form->isVisible());
        QCOMPARE(text(form), QStringLiteral("http://typed/"));
        QCOMPARE(QDir(h.installDir).entryList(QDir::Files), files);
        // Once the file can be written, the same click goes through.
        clickIn(form, "Command1");
        QVERIFY(openDialog(h, dialog) == nullptr);
        QVERIFY(h.read("default.qld").contains("http://typed/\r\n"));
    }

    void processWritesTheFileItWasLoadedFrom()
    {
        SessionHarness h;
        startWith(h, threeLinks);
        Form3* form = edit(h);
        QVERIFY(form);
        const QString other = h.path("other.qld");
        h.write(other, "http://other/\r\n");
        h.run([&h, &other] { h.m->theme().LoadThemeFile(other); });
        const QStringList log = h.logMessages();
        h.browsers.calls.clear();

        form->Text1->setPlainText("http://edited/\n");
        clickIn(form, "Command1");

        // Not reloaded: the edited file's empty last line stays until it is loaded again.
        QCOMPARE(h.read("default.qld"), QByteArray("http://edited/\r\n\r\n"));
        QCOMPARE(h.read(other), QByteArray("http://other/\r\n"));
        QCOMPARE(h.m->theme().ThemeFile(), other);
        QCOMPARE(comboItems(h), QStringList{"http://other/"});
        QCOMPARE(h.logMessages(), log + QStringList{" Successfully processed edit job"});
        QVERIFY(h.browsers.calls.isEmpty());
        QVERIFY(h.m->Form3.isNull());
    }

    void processTellsOfAChangeOnDiskBeforeWritingOverIt_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("link added through Grab") << "grab";
        QTest::newRow("file rewritten") << "rewrite";
        QTest::newRow("file deleted") << "delete";
    }
    void processTellsOfAChangeOnDiskBeforeWritingOverIt()
    {
        QFETCH(QString, change);
        SessionHarness h;
        startWith(h, threeLinks);
        h.browsers.location["Main"] = "http://grabbed/";
        Form3* form = edit(h);
        QVERIFY(form);
        form->Text1->setPlainText("http://edited/\n");
        if (change == "grab")
            clickIn(grab(h), "Command1");
        else if (change == "rewrite")
            h.write("default.qld", "http://outside/\r\n");
        else
            QVERIFY(QFile::remove(h.path("default.qld")));
        const QByteArray changed = h.read("default.qld");
        const QStringList log = h.logMessages();

        clickIn(form, "Command1");
        QCOMPARE(h.read("default.qld"), changed);
        QCOMPARE(h.dialogs.boxes.size(), 1);
        QVERIFY(h.dialogs.boxes[0].icon == BoxIcon::CriticalStop);
        QCOMPARE(h.m->Form3.data(), form);
        QCOMPARE(form->text(), QStringLiteral("http://edited/\n"));
        QCOMPARE(h.logMessages(), log + QStringList{" Edit job held back, file changed on disk: " +
                                                    h.path("default.qld")});

        clickIn(form, "Command1");
        QCOMPARE(h.read("default.qld"), QByteArray("http://edited/\r\n"));
        QCOMPARE(comboItems(h), QStringList{"http://edited/"});
        QCOMPARE(h.dialogs.boxes.size(), 1);
        QVERIFY(h.m->Form3.isNull());
    }

    void sameBytesWrittenAgainAreNoChange()
    {
        SessionHarness h;
        startWith(h, threeLinks);
        Form3* form = edit(h);
        QVERIFY(form);
        QFile file(h.path("default.qld"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(1),
                                 QFileDevice::FileModificationTime));
        file.close();
        h.write("default.qld", threeLinks);
        form->Text1->setPlainText("http://a/\n");
        clickIn(form, "Command1");
        QVERIFY(h.dialogs.boxes.isEmpty());
        QCOMPARE(h.read("default.qld"), QByteArray("http://a/\r\n"));
    }

    // A file grown past what the program reads: every way to it reports it once, reads none of
    // it and leaves it (its times too) and the list on show as they were.
    void fileTooLargeIsReportedAndLeftAlone_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("box");
        for (const char* step : {"load", "File", "outside change"})
            QTest::newRow(step) << step << "Uknown Error  7|Most Mysterious Occurrence";
        QTest::newRow("Process") << "Process"
                                 << "Uknown Error 7|Uknown Error";
    }
    void fileTooLargeIsReportedAndLeftAlone()
    {
        QFETCH(QString, step);
        QFETCH(QString, box);
        SessionHarness h;
        startWith(h, threeLinks);
        const QString theme = h.path("default.qld");
        QWidget* form = step == "Process" ? open(h, Dialog::Form3) : nullptr;
        QVERIFY(QFile::resize(theme, FileStore::MaxBytes + 1));
        const auto before = FileStore::status(theme);
        h.dialogs.answerOpen(theme);
        if (form)
            clickIn(form, "Command1");
        for (int i = 0; i < (step == "outside change" ? 2 : 1) && !form; ++i)
            h.run([&] {
                step == "load"   ? h.m->theme().LoadThemeFile(theme)
                : step == "File" ? FileCommand(*h.m)
                                 : h.m->theme().TimedStep();
            });
        QCOMPARE(h.dialogs.boxes.size(), 1);
        QCOMPARE(h.dialogs.boxes[0].text + '|' + h.dialogs.boxes[0].title, box);
        QVERIFY(FileStore::status(theme) == before);
        QCOMPARE(comboItems(h), threeLinkList);
    }
};

std::unique_ptr<QObject> makeWriteSafetyTests()
{
    return std::make_unique<WriteSafetyTest>();
}

#include "WriteSafetyTest.moc"
