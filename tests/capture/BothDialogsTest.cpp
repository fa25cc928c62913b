#include "CaptureTestSupport.h"

#include "support/SessionHarness.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

using Change = std::function<void(SessionHarness&)>;
Q_DECLARE_METATYPE(Change)

// What Grab and Edit do alike: cancel, close, a second click and a theme file that fails.
class BothDialogsTest : public CaptureTest
{
    Q_OBJECT

private slots:
    void cancelChangesNothing_data()
    {
        addDialogColumn();
        QTest::addColumn<QString>("logged");
        QTest::newRow("Grab") << Dialog::Form2 << " User terminates grab, nothing recorded";
        QTest::newRow("Edit") << Dialog::Form3
                              << " User cancels the edit job.  No changes were recorded";
    }
    void cancelChangesNothing()
    {
        QFETCH(Dialog, dialog);
        QFETCH(QString, logged);
        SessionHarness h;
        h.start();
        const QByteArray untidy = "http://a/\r\n\r\nhttp://b/";
        h.write("default.qld", untidy);
        QWidget* form = open(h, dialog);
        QVERIFY(form);
        setText(form, "http://typed/\n");
        h.browsers.calls.clear();
        clickIn(form, "Command2");
        QCOMPARE(h.read("default.qld"), untidy);
        QCOMPARE(h.logMessages().constLast(), logged);
        QVERIFY(openDialog(h, dialog) == nullptr);
        QVERIFY(h.browsers.calls.isEmpty());
        QVERIFY(h.dialogs.boxes.isEmpty());
    }

    void frameCloseAndEscapeDoNothingElse_data()
    {
        addDialogColumn();
        QTest::newRow("Grab") << Dialog::Form2;
        QTest::newRow("Edit") << Dialog::Form3;
    }
    void frameCloseAndEscapeDoNothingElse()
    {
        QFETCH(Dialog, dialog);
        SessionHarness h;
        startWith(h, threeLinks);
        QWidget* form = open(h, dialog);
        QVERIFY(form);
        setText(form, "http://typed/");
        const QStringList log = h.logMessages();
        QTest::keyClick(form->focusWidget() ? form->focusWidget() : form, Qt::Key_Escape);
        QTest::keyClick(form, Qt::Key_Escape);
        QCOMPARE(openDialog(h, dialog), form);
        QVERIFY(form->isVisible());
        QCOMPARE(text(form), QStringLiteral("http://typed/"));

        form->close();
        QVERIFY(openDialog(h, dialog) == nullptr);
        QCOMPARE(h.logMessages(), log);
        QCOMPARE(h.read("default.qld"), threeLinks);
        // The next command loads it afresh.
        QVERIFY(open(h, dialog));
        QCOMPARE(h.logMessages().size(), log.size() + 1);
    }

    void commandWhileOpenBringsTheDialogBack_data()
    {
        addDialogColumn();
        QTest::addColumn<QString>("loadLine");
        QTest::newRow("Grab") << Dialog::Form2 << " User grabs ";
        QTest::newRow("Edit") << Dialog::Form3 << " User edits ";
    }
    void commandWhileOpenBringsTheDialogBack()
    {
        QFETCH(Dialog, dialog);
        QFETCH(QString, loadLine);
        SessionHarness h;
        startWith(h, threeLinks);
        QWidget* form = open(h, dialog);
        QVERIFY(form);
        setText(form, "http://typed/");
        form->showMinimized();
        h.browsers.calls.clear();
        QCOMPARE(open(h, dialog), form);
        QVERIFY(form->isVisible());
        QVERIFY(!form->isMinimized());
        QCOMPARE(text(form), QStringLiteral("http://typed/"));
        const QStringList log = h.logMessages();
        QCOMPARE(std::count_if(log.begin(), log.end(),
                               [&](const QString& line) { return line.startsWith(loadLine); }),
                 1);
        QVERIFY(h.browsers.calls.isEmpty());
        // The check runs again all the same.
        QVERIFY(QFile::rename(h.path("default.qld"), h.path("moved.qld")));
        open(h, dialog);
        QCOMPARE(h.dialogs.boxes.first().title, QStringLiteral("Dead File Error"));
    }

    void deadThemeFileFallsBackToTheDefault_data()
    {
        addDialogColumn();
        QTest::newRow("Grab") << Dialog::Form2;
        QTest::newRow("Edit") << Dialog::Form3;
    }
    void deadThemeFileFallsBackToTheDefault()
    {
        QFETCH(Dialog, dialog);
        SessionHarness h;
        startWith(h, threeLinks);
        const QString gone = h.path("other.qld");
        h.write(gone, "http://other/\r\n");
        h.run([&h, &gone] { h.m->theme().LoadThemeFile(gone); });
        QVERIFY(QFile::remove(gone));
        h.browsers.calls.clear();

        QVERIFY(!open(h, dialog));

        QCOMPARE(h.dialogs.boxes.size(), 1);
        QCOMPARE(h.dialogs.boxes[0].text,
                 QStringLiteral("File no longer active.  You must have deleted it."));
        QCOMPARE(h.dialogs.boxes[0].title, QStringLiteral("Dead File Error"));
        QVERIFY(h.dialogs.boxes[0].icon == BoxIcon::CriticalStop);
        QCOMPARE(logTail(h, 2), (QStringList{" Dead file error occurred trying to add to " + gone,
                                             opensNormally(h.path("default.qld"))}));
        QCOMPARE(h.m->theme().ThemeFile(), h.path("default.qld"));
        QCOMPARE(comboItems(h), threeLinkList);
        QVERIFY(h.browsers.calls.contains("Main.Navigate(http://a/)"));
        QVERIFY(!anyDialogWindow("Form2") && !anyDialogWindow("Form3"));
        QVERIFY(!h.ended);
    }

    void otherFailuresAreReportedAndChangeNothing_data()
    {
        addDialogColumn();
        QTest::addColumn<QString>("themeFile"); // within the temporary folder
        QTest::addColumn<QString>("failingCall");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QString>("logStart");
        QTest::newRow("Grab, folder removed") << Dialog::Form2 << "gone/list.qld"
                                              << "" << 0 << "Uknown Error 76"
                                              << " Uknown error  76";
        QTest::newRow("Edit, folder removed") << Dialog::Form3 << "gone/list.qld"
                                              << "" << 0 << "Uknown Error 76"
                                              << " Uknown error  76";
        QTest::newRow("Edit, theme file is a folder") << Dialog::Form3 << "folder.qld"
                                                      << "" << 0 << "Uknown Error 75"
                                                      << " Uknown error  75";
        QTest::newRow("Grab, browser gone") << Dialog::Form2 << ""
                                            << "Main.LocationURL" << 462 << "Uknown Error 462"
                                            << " Uknown error  462";
        QTest::newRow("Grab, negative number") << Dialog::Form2 << ""
                                               << "Main.LocationURL" << -5 << "Uknown Error-5"
                                               << " Uknown error -5";
    }
    void otherFailuresAreReportedAndChangeNothing()
    {
        QFETCH(Dialog, dialog);
        QFETCH(QString, themeFile);
        QFETCH(QString, failingCall);
        QFETCH(int, number);
        QFETCH(QString, boxText);
        QFETCH(QString, logStart);
        SessionHarness h;
        startWith(h, threeLinks);
        if (!themeFile.isEmpty()) {
            // Loaded while it was a theme file, then its folder goes or it becomes a folder.
            const QString loaded = h.temp.path() + '/' + themeFile;
            QDir().mkpath(QFileInfo(loaded).absolutePath());
            h.write(loaded, threeLinks);
            h.run([&h, &loaded] { h.m->theme().LoadThemeFile(loaded); });
            QDir(h.temp.path() + "/gone").removeRecursively();
            QFile::remove(h.temp.path() + "/folder.qld");
        }
        QDir(h.temp.path()).mkdir("folder.qld");
        if (!failingCall.isEmpty())
            h.browsers.failOn(failingCall, number);
        const QString path = h.m->theme().ThemeFile();
        h.browsers.calls.clear();

        QVERIFY(!open(h, dialog));

        QCOMPARE(h.dialogs.boxes.size(), 1);
        QCOMPARE(h.dialogs.boxes[0].text, boxText);
        QCOMPARE(h.dialogs.boxes[0].title, QStringLiteral("Uknown Error"));
        QVERIFY(h.dialogs.boxes[0].icon == BoxIcon::CriticalStop);
        QCOMPARE(h.logMessages().constLast(), logStart + " occurred trying to add link to " + path);
        QVERIFY(!h.logMessages().join('\n').contains(" User grabs "));
        QCOMPARE(h.m->theme().ThemeFile(), path);
        QVERIFY(h.browsers.callsStartingWith("Main.Navigate").isEmpty());
        QVERIFY(!anyDialogWindow("Form2") && !anyDialogWindow("Form3"));
        QVERIFY(!h.ended);
        if (!failingCall.isEmpty()) {
            // Nothing of the failed load stays: the next Grab loads the dialog afresh.
            QVERIFY(open(h, dialog));
            QCOMPARE(h.logMessages().count(" User grabs http://a/"), 1);
        }
    }

    // Timed steps take what other programs write to the theme file, never the program's own.
    void timedStepTakesChangesFromOutside_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("index"); // after three timed steps from link 2
        // Untidy, so that the program rewrites the file itself as it takes it.
        const Change rewrite = [](SessionHarness& h) {
            h.write("default.qld", "http://v/\r\n\r\nhttp://w/");
        };
        const Change remove = [](SessionHarness& h) { QFile::remove(h.path("default.qld")); };
        // Same size and time, as a filesystem that keeps times to the second shows it.
        const Change sameSecond = [](SessionHarness& h) {
            const QByteArray path = QFile::encodeName(h.path("default.qld"));
            struct stat before = {};
            ::stat(path.constData(), &before);
            h.write("default.qld", QByteArray(threeLinks).replace('b', 'q'));
            const timespec times[2] = {before.st_atim, before.st_mtim};
            ::utimensat(AT_FDCWD, path.constData(), times, 0);
        };
        const Change process = [](SessionHarness& h) {
            QWidget* form = open(h, Dialog::Form3);
            setText(form, "http://c/\n\nhttp://a/");
            clickIn(form, "Command1");
        };
        const Change addIt = [](SessionHarness& h) {
            QWidget* form = open(h, Dialog::Form2);
            setText(form, "http://d/");
            clickIn(form, "Command1");
        };
        const QStringList twoLinks{"http://v/", "http://w/"};
        QTest::newRow("edited") << rewrite << twoLinks << true << 1;
        QTest::newRow("same size, same second")
            << sameSecond << QStringList{"http://a/", "http://q/", "http://c/"} << true << 2;
        QTest::newRow("Process") << process << QStringList{"http://c/", "http://a/"} << false << 1;
        QTest::newRow("Add It") << addIt << threeLinkList + QStringList{"http://d/"} << false << 1;
        QTest::newRow("removed") << remove << threeLinkList << false << 2;
        QTest::newRow("a folder in its place") << Change([=](SessionHarness& h) {
            remove(h);
            QDir().mkdir(h.path("default.qld"));
        }) << threeLinkList << false << 2;
        QTest::newRow("back with other links") << Change([=](SessionHarness& h) {
            remove(h);
            h.m->theme().TimedStep();
            h.m->theme().TimedStep();
            rewrite(h);
        }) << twoLinks << true << 2;
    }
    void timedStepTakesChangesFromOutside()
    {
        QFETCH(Change, change);
        QFETCH(QStringList, links);
        QFETCH(bool, taken);
        QFETCH(int, index);
        SessionHarness h;
        startWith(h, threeLinks);
        h.stepTo(2);
        change(h);
        const QStringList log = h.logMessages();
        for (int step = 0; step < 3; ++step)
            h.run([&h] { h.m->theme().TimedStep(); });
        QCOMPARE(comboItems(h), links);
        QCOMPARE(h.logMessages().mid(log.size()),
                 taken ? QStringList{opensNormally(h.path("default.qld"))} : QStringList());
        QCOMPARE(h.m->theme().LinkIndex(), index);
        QVERIFY(h.dialogs.boxes.isEmpty());
    }
};

std::unique_ptr<QObject> makeBothDialogsTests()
{
    return std::make_unique<BothDialogsTest>();
}

#include "BothDialogsTest.moc"
