#include "capture/CaptureCommands.h"
#include "capture/Form2.h"
#include "capture/Form3.h"
#include "links/LoadThemeFile.h"
#include "support/ImmutableFile.h"
#include "support/SessionHarness.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

using Dialog = CaptureDialog;
Q_DECLARE_METATYPE(CaptureDialog)

namespace {
const QByteArray threeLinks = "http://a/\r\nhttp://b/\r\nhttp://c/\r\n";
const QStringList threeLinkList{"http://a/", "http://b/", "http://c/"};

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private:
    // A started program whose default theme file holds `content`.
    static void startWith(SessionHarness& h, const QByteArray& content)
    {
        h.write("default.qld", content);
        h.start();
        QVERIFY(!h.ended);
    }
    static Form2* grab(SessionHarness& h)
    {
        h.run([&h] { GrabCommand(*h.m); });
        return qobject_cast<Form2*>(h.m->Form2.data());
    }
    static Form3* edit(SessionHarness& h)
    {
        h.run([&h] { EditCommand(*h.m); });
        return qobject_cast<Form3*>(h.m->Form3.data());
    }
    static QWidget* open(SessionHarness& h, Dialog dialog)
    {
        if (dialog == Dialog::Form2)
            return grab(h);
        return edit(h);
    }
    static QWidget* openDialog(SessionHarness& h, Dialog dialog)
    {
        return dialog == Dialog::Form2 ? h.m->Form2.data() : h.m->Form3.data();
    }
    static void setText(QWidget* dialog, const QString& text)
    {
        if (auto* form2 = qobject_cast<Form2*>(dialog))
            form2->Text1->setText(text);
        else
            qobject_cast<Form3*>(dialog)->Text1->setPlainText(text);
    }
    static QString text(QWidget* dialog)
    {
        if (auto* form2 = qobject_cast<Form2*>(dialog))
            return form2->Text1->text();
        return qobject_cast<Form3*>(dialog)->text();
    }
    static void clickIn(QWidget* dialog, const char* name)
    {
        QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(name)),
                          Qt::LeftButton);
    }
    static QStringList comboItems(SessionHarness& h) { return h.toolbar.entries; }
    static QStringList logTail(SessionHarness& h, qsizetype count)
    {
        const QStringList log = h.logMessages();
        return log.mid(log.size() - count);
    }
    static QString opensNormally(const QString& path) { return ' ' + path + " opens normally"; }
    static bool anyDialogWindow(const char* name)
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == QLatin1String(name) && window->isVisible())
                return true;
        return false;
    }
    static void addDialogColumn() { QTest::addColumn<Dialog>("dialog"); }

private slots:
    void initTestCase()
    {
        // The offscreen platform cannot raise windows and says so at every dialog shown.
        static const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (message != QLatin1String("This plugin does not support raise()"))
                    previous(type, context, message);
            });
    }
    void cleanup()
    {
        // Dialogs have no owner: the harness that they served is gone.
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == "Form2" || window->objectName() == "Form3")
                delete window;
    }

    // --- Grab ---

    void addItAppendsTheLinkAndReloadsInPlace_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("typed"); // null: the address as shown
        QTest::addColumn<QByteArray>("expectedFile");
        QTest::addColumn<QStringList>("expectedLinks");
        QTest::newRow("address on show")
            << threeLinks << "http://new/" << QString() << threeLinks + "http://new/\r\n"
            << threeLinkList + QStringList{"http://new/"};
        QTest::newRow("edited text") << threeLinks << "http://new/"
                                     << "http://typed/" << threeLinks + "http://typed/\r\n"
                                     << threeLinkList + QStringList{"http://typed/"};
        QTest::newRow("empty text adds nothing") << threeLinks << "http://new/"
                                                 << "" << threeLinks << threeLinkList;
        QTest::newRow("last line without line end")
            << QByteArray("http://a/\r\nhttp://b/") << "http://new/" << QString()
            << QByteArray("http://a/\r\nhttp://b/\r\nhttp://new/\r\n")
            << QStringList{"http://a/", "http://b/", "http://new/"};
        QTest::newRow("comma kept in one link") << threeLinks << "http://x/?q=1,2" << QString()
                                                << threeLinks + "\"http://x/?q=1,2\"\r\n"
                                                << threeLinkList + QStringList{"http://x/?q=1,2"};
        QTest::newRow("Windows-1252 file")
            << QByteArray("http://caf\xe9/\r\nhttp://b/\r\n") << "http://new/"
            << QString::fromUtf8("http://\xc3\xa9/")
            << QByteArray("http://caf\xe9/\r\nhttp://b/\r\n"
                          "http://\xe9/\r\n")
            << QStringList{QString::fromUtf8("http://caf\xc3\xa9/"), "http://b/",
                           QString::fromUtf8("http://\xc3\xa9/")};
        QTest::newRow("UTF-8 file")
            << threeLinks << QString::fromUtf8("http://\xc3\xa9/") << QString()
            << threeLinks + QByteArray("http://\xc3\xa9/\r\n")
            << threeLinkList + QStringList{QString::fromUtf8("http://\xc3\xa9/")};
    }
    void addItAppendsTheLinkAndReloadsInPlace()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, location);
        QFETCH(QString, typed);
        QFETCH(QByteArray, expectedFile);
        QFETCH(QStringList, expectedLinks);
        SessionHarness h;
        startWith(h, file);
        h.m->LinkIndex = 2;
        h.browsers.location["Main"] = location;
        h.browsers.calls.clear();

        Form2* form = grab(h);
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QVERIFY(!form->parentWidget());
        QCOMPARE(form->Text1->text(), location);
        if (!typed.isNull())
            form->Text1->setText(typed);
        clickIn(form, "Command1");

        QCOMPARE(h.read("default.qld"), expectedFile);
        QCOMPARE(comboItems(h), expectedLinks);
        QCOMPARE(h.toolbar.text, QStringLiteral("Current link added to end of file."));
        QCOMPARE(h.m->LinkIndex, qint16(2));
        QCOMPARE(h.m->SavedIndex, qint16(0));
        QCOMPARE(h.m->RestoreFlag, qint16(0));
        QCOMPARE(h.browsers.calls, (QStringList{"Main.LocationURL", "Main.LocationURL"}));
        QCOMPARE(logTail(h, 3),
                 (QStringList{" User grabs " + location, opensNormally(h.path("default.qld")),
                              " Grab job processed successfully"}));
        QVERIFY(h.m->Form2.isNull());
        QVERIFY(!anyDialogWindow("Form2"));
        QVERIFY(h.dialogs.boxes.isEmpty());
    }

    void enterInTheAddressRunsAddItOnce_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    }
    void enterInTheAddressRunsAddItOnce()
    {
        QFETCH(int, key);
        SessionHarness h;
        startWith(h, threeLinks);
        h.browsers.location["Main"] = "http://new/";
        Form2* form = grab(h);
        QVERIFY(form);
        QTest::keyClick(form->Text1, Qt::Key(key));
        QCOMPARE(h.read("default.qld"), threeLinks + "http://new/\r\n");
        QCOMPARE(h.logMessages().count(" Grab job processed successfully"), 1);
        QVERIFY(h.m->Form2.isNull());
    }

    // A folder that takes no new files, and a theme file with a second name elsewhere: the
    // record goes into the file itself, which keeps both names.
    void addItWritesIntoTheFileItself()
    {
        SessionHarness h;
        startWith(h, threeLinks);
        const QString folder = h.temp.path() + "/locked";
        QVERIFY(QDir().mkpath(folder));
        const QString theme = folder + "/links.qld";
        const QString secondName = h.temp.path() + "/second.qld";
        h.write(theme, threeLinks);
        QCOMPARE(
            ::link(QFile::encodeName(theme).constData(), QFile::encodeName(secondName).constData()),
            0);
        h.m->ThemeFile = theme;
        h.browsers.location["Main"] = "http://new/";
        Form2* form = grab(h);
        QVERIFY(form);
        {
            const ImmutableFile locked(folder);
            if (!locked.made())
                QSKIP("chattr +i is not available here, so no folder can be locked to root");
            clickIn(form, "Command1");
        }
        QCOMPARE(h.dialogs.boxes.size(), 0);
        QCOMPARE(h.read(theme), threeLinks + "http://new/\r\n");
        QCOMPARE(h.read(secondName), threeLinks + "http://new/\r\n");
        QCOMPARE(comboItems(h), threeLinkList + QStringList{"http://new/"});
        QCOMPARE(logTail(h, 1), QStringList{" Grab job processed successfully"});
    }

    // --- Edit ---

    void editShowsEveryLineEndedByALineBreak_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("shown");
        QTest::newRow("three links") << threeLinks << "http://a/\nhttp://b/\nhttp://c/\n";
        QTest::newRow("lone CR and no last line end") << QByteArray("a\rb\r\nc") << "a\nb\nc\n";
        QTest::newRow("empty lines") << QByteArray("a\r\n\r\nb\r\n") << "a\n\nb\n";
        QTest::newRow("empty file") << QByteArray() << "";
        QTest::newRow("Windows-1252")
            << QByteArray("caf\xe9\r\n") << QString::fromUtf8("caf\xc3\xa9\n");
        QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9\r\n")
                               << QString::fromUtf8("caf\xc3\xa9\n");
    }
    void editShowsEveryLineEndedByALineBreak()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        SessionHarness h;
        h.start();
        h.write("default.qld", file); // after the start-up, so that no load tidies it
        Form3* form = edit(h);
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QVERIFY(!form->parentWidget());
        QCOMPARE(form->Text1->toPlainText(), shown);
        QCOMPARE(form->windowTitle(), "Edit " + h.path("default.qld"));
        QCOMPARE(h.logMessages().constLast(), " User edits " + h.path("default.qld"));
        QCOMPARE(h.read("default.qld"), file);
    }

    void processWithoutAChangeKeepsLinksAndBytes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("three links") << threeLinks;
        QTest::newRow("Windows-1252") << QByteArray("http://caf\xe9/\r\na\xa0"
                                                    "b\r\nhttp://c/\r\n");
        QTest::newRow("UTF-8") << QByteArray("http://caf\xc3\xa9/\r\nhttp://b/\r\n");
        QTest::newRow("lines of both encodings")
            << QByteArray("http://caf\xe9/\r\nhttp://caf\xc3\xa9/\r\n");
        QTest::newRow("lone LF inside a line") << QByteArray("http://a/\nmore\r\nhttp://b/\r\n");
        QTest::newRow("comma and quotes") << QByteArray("a,b\r\n\"c,d\"\r\n  e\r\n");
        // The text box breaks lines at these; the file's line must come back whole.
        QTest::newRow("line and paragraph separators")
            << QByteArray("http://a/\xe2\x80\xa8x\r\nhttp://b/\xe2\x80\xa9y\r\n");
        // A line of several rows must not take the rows of its neighbours.
        QTest::newRow("line ending in a lone LF before its twin")
            << QByteArray("http://a/\n\r\nhttp://a/\r\n");
        QTest::newRow("twin line after a line that holds it")
            << QByteArray("http://a/\r\nhttp://a/\nhttp://a/\r\n");
    }
    void processWithoutAChangeKeepsLinksAndBytes()
    {
        QFETCH(QByteArray, file);
        SessionHarness h;
        startWith(h, file);
        QCOMPARE(h.read("default.qld"), file);
        h.m->LinkIndex = 2;
        h.toolbar.text = "shown before";
        const QStringList items = comboItems(h);
        h.browsers.calls.clear();

        Form3* form = edit(h);
        QVERIFY(form);
        clickIn(form, "Command1");

        QCOMPARE(h.read("default.qld"), file);
        QCOMPARE(comboItems(h), items);
        QCOMPARE(h.toolbar.text, QStringLiteral("shown before"));
        QCOMPARE(h.m->LinkIndex, qint16(2));
        QCOMPARE(h.m->RestoreFlag, qint16(0));
        QVERIFY(h.browsers.calls.isEmpty());
        QCOMPARE(logTail(h, 3), (QStringList{" User edits " + h.path("default.qld"),
                                             opensNormally(h.path("default.qld")),
                                             " Successfully processed edit job"}));
        QVERIFY(h.m->Form3.isNull());
    }

    void processWritesTheEditedText_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QByteArray>("expectedFile");
        QTest::addColumn<QStringList>("expectedLinks");
        QTest::newRow("empty lines dropped")
            << threeLinks << "\nhttp://a/\n\n\nhttp://b/\n   \nhttp://c/\n\n"
            << QByteArray("http://a/\r\nhttp://b/\r\n   \r\nhttp://c/\r\n")
            << QStringList{"http://a/", "http://b/", "", "http://c/"};
        QTest::newRow("line deleted")
            << threeLinks << "http://a/\nhttp://c/\n"
            << QByteArray("http://a/\r\nhttp://c/\r\n") << QStringList{"http://a/", "http://c/"};
        QTest::newRow("lines reordered") << threeLinks << "http://c/\nhttp://a/\nhttp://b/\n"
                                         << QByteArray("http://c/\r\nhttp://a/\r\nhttp://b/\r\n")
                                         << QStringList{"http://c/", "http://a/", "http://b/"};
        QTest::newRow("every line deleted") << threeLinks << "" << QByteArray() << QStringList{};
        QTest::newRow("no last line break")
            << threeLinks << "http://a/\nhttp://new/" << QByteArray("http://a/\r\nhttp://new/\r\n")
            << QStringList{"http://a/", "http://new/"};
        QTest::newRow("changed line in a Windows-1252 file")
            << QByteArray("http://caf\xe9/\r\nhttp://b/\r\n")
            << QString::fromUtf8("http://caf\xc3\xa9/\nhttp://b/\xc3\xa9\n")
            << QByteArray("http://caf\xe9/\r\nhttp://b/\xe9\r\n")
            << QStringList{QString::fromUtf8("http://caf\xc3\xa9/"),
                           QString::fromUtf8("http://b/\xc3\xa9")};
        QTest::newRow("character beyond Windows-1252")
            << QByteArray("http://caf\xe9/\r\n")
            << QString::fromUtf8("http://caf\xc3\xa9/\nhttp://\xe2\x86\x92/\n")
            << QByteArray("http://caf\xe9/\r\nhttp://\xe2\x86\x92/\r\n")
            << QStringList{QString::fromUtf8("http://caf\xc3\xa9/"),
                           QString::fromUtf8("http://\xe2\x86\x92/")};
    }
    void processWritesTheEditedText()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, edited);
        QFETCH(QByteArray, expectedFile);
        QFETCH(QStringList, expectedLinks);
        SessionHarness h;
        startWith(h, file);
        Form3* form = edit(h);
        QVERIFY(form);
        form->Text1->setPlainText(edited);
        clickIn(form, "Command1");
        QCOMPARE(h.read("default.qld"), expectedFile);
        QCOMPARE(comboItems(h), expectedLinks);
        QVERIFY(h.m->Form3.isNull());
    }

    void enterInTheEditBoxStartsANewLine()
    {
        SessionHarness h;
        startWith(h, threeLinks);
        Form3* form = edit(h);
        QVERIFY(form);
        form->Text1->moveCursor(QTextCursor::End);
        QTest::keyClicks(form->Text1, "http://d/");
        QTest::keyClick(form->Text1, Qt::Key_Return);
        QCOMPARE(form->text(), QStringLiteral("http://a/\nhttp://b/\nhttp://c/\nhttp://d/\n"));
        QCOMPARE(h.read("default.qld"), threeLinks);
        QCOMPARE(h.m->Form3.data(), form);
        clickIn(form, "Command1");
        QCOMPARE(h.read("default.qld"), threeLinks + "http://d/\r\n");
    }

    // --- Both dialogs ---

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
        h.m->ThemeFile = gone;
        h.run([&h] { LoadThemeFile(*h.m); });
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
        QCOMPARE(h.m->ThemeFile, h.path("default.qld"));
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
        if (!themeFile.isEmpty())
            h.m->ThemeFile = h.temp.path() + '/' + themeFile;
        QDir(h.temp.path()).mkdir("folder.qld");
        if (!failingCall.isEmpty())
            h.browsers.failOn(failingCall, number);
        const QString path = h.m->ThemeFile;
        h.browsers.calls.clear();

        QVERIFY(!open(h, dialog));

        QCOMPARE(h.dialogs.boxes.size(), 1);
        QCOMPARE(h.dialogs.boxes[0].text, boxText);
        QCOMPARE(h.dialogs.boxes[0].title, QStringLiteral("Uknown Error"));
        QVERIFY(h.dialogs.boxes[0].icon == BoxIcon::CriticalStop);
        QCOMPARE(h.logMessages().constLast(), logStart + " occurred trying to add link to " + path);
        QVERIFY(!h.logMessages().join('\n').contains(" User grabs "));
        QCOMPARE(h.m->ThemeFile, path);
        QVERIFY(h.browsers.callsStartingWith("Main.Navigate").isEmpty());
        QVERIFY(!anyDialogWindow("Form2") && !anyDialogWindow("Form3"));
        QVERIFY(!h.ended);
        if (!failingCall.isEmpty()) {
            // Nothing of the failed load stays: the next Grab loads the dialog afresh.
            QVERIFY(open(h, dialog));
            QCOMPARE(h.logMessages().count(" User grabs http://a/"), 1);
        }
    }

    // --- Writes that cannot lose the theme file ---

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
        h.m->ThemeFile = other;
        h.run([&h] { LoadThemeFile(*h.m); });
        const QStringList log = h.logMessages();
        h.browsers.calls.clear();

        form->Text1->setPlainText("http://edited/\n");
        clickIn(form, "Command1");

        // Not reloaded: the edited file's empty last line stays until it is loaded again.
        QCOMPARE(h.read("default.qld"), QByteArray("http://edited/\r\n\r\n"));
        QCOMPARE(h.read(other), QByteArray("http://other/\r\n"));
        QCOMPARE(h.m->ThemeFile, other);
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

    // --- Layout ---

    void dialogsAreLaidOutInTwips_data()
    {
        addDialogColumn();
        QTest::addColumn<QString>("control"); // empty: the client area
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Form2") << Dialog::Form2 << "" << QRect(0, 0, 6690, 1230)
                               << "Add the Current Link";
        QTest::newRow("Form2.Text1")
            << Dialog::Form2 << "Text1" << QRect(120, 120, 6375, 375) << "";
        QTest::newRow("Form2.Command1")
            << Dialog::Form2 << "Command1" << QRect(1920, 600, 1215, 495) << "Add It";
        QTest::newRow("Form2.Command2")
            << Dialog::Form2 << "Command2" << QRect(3240, 600, 1215, 495) << "Cancel";
        QTest::newRow("Form3") << Dialog::Form3 << "" << QRect(0, 0, 9300, 4545) << "";
        QTest::newRow("Form3.Text1")
            << Dialog::Form3 << "Text1" << QRect(120, 240, 9015, 3255) << "";
        QTest::newRow("Form3.Command1")
            << Dialog::Form3 << "Command1" << QRect(2880, 3720, 1215, 495) << "Process";
        QTest::newRow("Form3.Command2")
            << Dialog::Form3 << "Command2" << QRect(5040, 3720, 1215, 495) << "Cancel";
    }
    void dialogsAreLaidOutInTwips()
    {
        QFETCH(Dialog, dialog);
        QFETCH(QString, control);
        QFETCH(QRect, twips);
        QFETCH(QString, caption);
        SessionHarness h;
        startWith(h, threeLinks);
        QWidget* form = open(h, dialog);
        QVERIFY(form);
        const double scale = form->logicalDpiX() / 1440.0;
        const QRect pixels(qRound(twips.x() * scale), qRound(twips.y() * scale),
                           qRound(twips.width() * scale), qRound(twips.height() * scale));
        if (control.isEmpty()) {
            QCOMPARE(form->size(), pixels.size());
            if (!caption.isEmpty())
                QCOMPARE(form->windowTitle(), caption);
            return;
        }
        QWidget* widget = form->findChild<QWidget*>(control);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), pixels);
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QCOMPARE(button->text(), caption);
            QVERIFY(!button->isDefault() && !button->autoDefault());
        }
    }

    void tabMovesFromTheTextToTheButtons_data()
    {
        addDialogColumn();
        QTest::newRow("Grab") << Dialog::Form2;
        QTest::newRow("Edit") << Dialog::Form3;
    }
    void tabMovesFromTheTextToTheButtons()
    {
        QFETCH(Dialog, dialog);
        SessionHarness h;
        startWith(h, threeLinks);
        QWidget* form = open(h, dialog);
        QVERIFY(form);
        if (!QTest::qWaitForWindowActive(form))
            QSKIP("this platform does not activate windows, so focus cannot move");
        auto* text1 = form->findChild<QWidget*>("Text1");
        text1->setFocus();
        const QString before = text(form);
        QTest::keyClick(text1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->findChild<QWidget*>("Command1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->findChild<QWidget*>("Command2"));
        QCOMPARE(text(form), before);
    }
};

QTEST_MAIN(TestCapture)
#include "test_capture.moc"
