#include "ThemeTestSupport.h"

#include "platform/Twips.h"
#include "support/SessionHarness.h"
#include "themes/Form4.h"
#include "themes/ThemeCommands.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
const QString SelectsNew = QStringLiteral(" User selects NEW");

Form4* clickNew(SessionHarness& h)
{
    h.run([&h] { NewCommand(*h.m); });
    return qobject_cast<Form4*>(h.m->Form4.data());
}

// Types a name and presses Enter in the name box. Returns the name box, which stays readable
// until the closed dialog's deferred delete runs.
QPointer<QLineEdit> enterName(Form4* form, const QString& name)
{
    QPointer<QLineEdit> box = form->Text1;
    QTest::keyClicks(form->Text1, name);
    QTest::keyClick(form->Text1, Qt::Key_Return);
    return box;
}

QByteArray starterLine(const SessionHarness& h)
{
    return h.m->starterPage().toUtf8() + "\r\n";
}

QRect twipsRect(const QWidget* window, int left, int top, int width, int height)
{
    return Twips::toPixels(QRect(left, top, width, height), window->logicalDpiX());
}

void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

class NewCommandTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { flushDeferredDeletes(); }

    void enterCreatesAndLoadsOnce_data();
    void enterCreatesAndLoadsOnce();
    void extensionCompletion_data();
    void extensionCompletion();
    void existingNameIsNeverTouched_data();
    void existingNameIsNeverTouched();
    void emptyNameCancels();
    void failedCreationReloadsPreviousInPlace_data();
    void failedCreationReloadsPreviousInPlace();
    void failedCreationFallsBackToFileOpenedMeanwhile();
    void unwritableLogEndsWithGenericReport_data();
    void unwritableLogEndsWithGenericReport();
    void newWhileOpenRaisesSameDialog();
    void escapeAndFrameCloseDoNothingElse();
    void cancelCloses();
    void layoutFollowsDesign();
};

void NewCommandTest::enterCreatesAndLoadsOnce_data()
{
    QTest::addColumn<QString>("installFolder");
    QTest::addColumn<bool>("quoted");
    QTest::newRow("plain install path") << "Quillon2" << false;
    // A home folder named so: the starter link must still read back as one link.
    QTest::newRow("comma in the install path") << "a,b/Quillon2" << true;
}

void NewCommandTest::enterCreatesAndLoadsOnce()
{
    QFETCH(QString, installFolder);
    QFETCH(bool, quoted);
    SessionHarness h(true, installFolder);
    h.start();
    h.browsers.calls.clear();
    const qsizetype logged = h.logMessages().size();
    Form4* form = clickNew(h);
    QVERIFY(form);

    enterName(form, QStringLiteral("links"));

    const QString created = h.path(QStringLiteral("links.qld"));
    const QByteArray starter = h.m->starterPage().toUtf8();
    QCOMPARE(h.read(created), (quoted ? '"' + starter + '"' : starter) + "\r\n");
    QCOMPARE(h.m->theme().ThemeFile(), created);
    QCOMPARE(h.toolbar.listCount(), 1);
    QCOMPARE(h.toolbar.entries.value(0), h.m->starterPage());
    QCOMPARE(h.toolbar.text, h.m->starterPage());
    QCOMPARE(h.m->theme().LinkIndex(), 1);
    QCOMPARE(navigations(h).value(0), "Main.Navigate(" + h.m->starterPage() + ")");
    QVERIFY(h.toolbar.caption.endsWith(created.toUpper()));
    QCOMPARE(logSince(h, logged), QStringList({SelectsNew, opensNormally(created),
                                               QStringLiteral(" links.qld successfully created")}));
    QVERIFY(h.dialogs.boxes.isEmpty());
    QVERIFY(!h.m->Form4);
    QVERIFY(!form->isVisible());
}

void NewCommandTest::extensionCompletion_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("completed");
    QTest::newRow("no extension") << "links"
                                  << "links.qld";
    QTest::newRow("the extension") << "links.qld"
                                   << "links.qld";
    QTest::newRow("capitals") << "links.QLD"
                              << "links.QLD.qld";
    QTest::newRow("mixed capitals") << "links.Qld"
                                    << "links.Qld.qld";
    QTest::newRow("the extension alone") << ".qld"
                                         << ".qld";
    QTest::newRow("shorter than the extension") << "qld"
                                                << "qld.qld";
    QTest::newRow("blanks are a name") << "  "
                                       << "  .qld";
    QTest::newRow("another extension") << "links.txt"
                                       << "links.txt.qld";
}

void NewCommandTest::extensionCompletion()
{
    QFETCH(QString, typed);
    QFETCH(QString, completed);
    SessionHarness h;
    h.start();
    Form4* form = clickNew(h);

    const QPointer<QLineEdit> box = enterName(form, typed);

    QVERIFY(box);
    QCOMPARE(box->text(), completed);
    QCOMPARE(h.read(completed), starterLine(h));
    QCOMPARE(h.m->theme().ThemeFile(), h.path(completed));
}

void NewCommandTest::existingNameIsNeverTouched_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a theme file") << "file";
    QTest::newRow("an immutable file") << "immutable";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a link to nothing") << "dangling link";
}

void NewCommandTest::existingNameIsNeverTouched()
{
    QFETCH(QString, kind);
    SessionHarness h;
    const QString name = QStringLiteral("taken.qld");
    const QString path = h.path(name);
    const QByteArray content("http://kept.example/\r\nhttp://also.example/\r\n");
    const QString linkTarget = h.temp.path() + QStringLiteral("/target.qld");
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    else if (kind == QLatin1String("dangling link"))
        QVERIFY(QFile::link(linkTarget, path));
    else
        h.write(name, content);
    std::unique_ptr<ImmutableFile> immutable;
    if (kind == QLatin1String("immutable")) {
        immutable = std::make_unique<ImmutableFile>(path);
        if (!immutable->made())
            QSKIP("chattr +i is not available here");
    }
    h.start();
    h.run([&h] { h.m->theme().MoveRight(); });
    const QString shown = h.toolbar.text;
    h.browsers.calls.clear();
    const qsizetype logged = h.logMessages().size();
    bool dialogGoneAtBox = false;
    h.dialogs.onBox = [&h, &dialogGoneAtBox](const ScriptedDialogs::Box&) {
        dialogGoneAtBox = !h.m->Form4;
    };
    Form4* form = clickNew(h);

    QTest::keyClicks(form->Text1, QStringLiteral("taken"));
    QTest::mouseClick(form->Command1, Qt::LeftButton);

    QCOMPARE(h.dialogs.boxes.size(), 1);
    QCOMPARE(h.dialogs.boxes.at(0).text, QStringLiteral("File Already Exists"));
    QCOMPARE(h.dialogs.boxes.at(0).title, QStringLiteral("File Creation Error"));
    QVERIFY(h.dialogs.boxes.at(0).icon == BoxIcon::CriticalStop);
    QVERIFY(dialogGoneAtBox);
    QCOMPARE(logSince(h, logged),
             QStringList({SelectsNew, QStringLiteral(" taken.qld already existed, file creation "
                                                     "aborted")}));
    if (kind == QLatin1String("file") || kind == QLatin1String("immutable"))
        QCOMPARE(h.read(name), content);
    if (kind == QLatin1String("dangling link"))
        QVERIFY(!QFile::exists(linkTarget));
    QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
    QCOMPARE(h.m->theme().LinkIndex(), 2);
    QCOMPARE(h.toolbar.text, shown);
    QVERIFY(navigations(h).isEmpty());
}

void NewCommandTest::emptyNameCancels()
{
    SessionHarness h;
    h.start();
    const qsizetype logged = h.logMessages().size();
    Form4* form = clickNew(h);

    QTest::keyClick(form->Text1, Qt::Key_Return);

    QCOMPARE(logSince(h, logged),
             QStringList({SelectsNew, QStringLiteral(" Create job was cancelled because of no "
                                                     "file name entered")}));
    QVERIFY(!h.m->Form4);
    QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
    QVERIFY(h.dialogs.boxes.isEmpty());
}

void NewCommandTest::failedCreationReloadsPreviousInPlace_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("completed");
    QTest::newRow("a folder that does not exist") << "sub/x"
                                                  << "sub/x.qld";
    const QString tooLong(300, QLatin1Char('n'));
    QTest::newRow("a name too long") << tooLong << tooLong + ".qld";
}

void NewCommandTest::failedCreationReloadsPreviousInPlace()
{
    QFETCH(QString, typed);
    QFETCH(QString, completed);
    SessionHarness h;
    h.start();
    h.run([&h] { h.m->theme().MoveRight(); });
    const QString shown = h.toolbar.text;
    const int entries = h.toolbar.listCount();
    h.browsers.calls.clear();
    const qsizetype logged = h.logMessages().size();
    Form4* form = clickNew(h);

    form->Text1->setText(typed);
    QTest::mouseClick(form->Command1, Qt::LeftButton);

    QCOMPARE(h.dialogs.boxes.size(), 1);
    QCOMPARE(h.dialogs.boxes.at(0).text, QStringLiteral("Bad File Name or Other File Error"));
    QCOMPARE(h.dialogs.boxes.at(0).title, QStringLiteral("File Creation Error"));
    QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
    QCOMPARE(h.m->theme().LinkIndex(), 2);
    QCOMPARE(h.toolbar.text, shown);
    QCOMPARE(h.toolbar.listCount(), entries);
    QVERIFY(navigations(h).isEmpty());
    QCOMPARE(logSince(h, logged),
             QStringList({SelectsNew, QStringLiteral(" General file creation error.  Aborted"),
                          opensNormally(h.m->defaultThemeFile())}));
    QVERIFY(!h.m->Form4);
    QVERIFY(!h.ended);
}

void NewCommandTest::failedCreationFallsBackToFileOpenedMeanwhile()
{
    SessionHarness h;
    const QString other = h.path(QStringLiteral("other.qld"));
    h.write(other, "http://a.example/\r\nhttp://b.example/\r\n");
    h.start();
    Form4* form = clickNew(h);
    h.dialogs.answerOpen(other);
    h.run([&h] { FileCommand(*h.m); });
    h.run([&h] { h.m->theme().MoveRight(); });

    enterName(form, QStringLiteral("sub/x"));

    QCOMPARE(h.m->theme().ThemeFile(), other);
    QCOMPARE(h.m->theme().LinkIndex(), 2);
    QCOMPARE(h.toolbar.text, QStringLiteral("http://b.example/"));
    QCOMPARE(h.toolbar.listCount(), 2);
    QVERIFY(!h.m->Form4);
}

void NewCommandTest::unwritableLogEndsWithGenericReport_data()
{
    QTest::addColumn<bool>("openFirst");
    QTest::addColumn<QString>("button"); // empty: the New button itself
    QTest::newRow("New") << false << "";
    QTest::newRow("Cancel") << true << "Command2";
    QTest::newRow("Create It with no name") << true << "Command1";
}

void NewCommandTest::unwritableLogEndsWithGenericReport()
{
    QFETCH(bool, openFirst);
    QFETCH(QString, button);
    SessionHarness h;
    h.start();
    Form4* form = openFirst ? clickNew(h) : nullptr;
    ImmutableFile log(h.path(QStringLiteral("error.log")));
    if (!log.made())
        QSKIP("chattr +i is not available here; cannot refuse the log's append");

    if (form)
        QTest::mouseClick(form->findChild<QPushButton*>(button), Qt::LeftButton);
    else
        form = clickNew(h);

    QVERIFY(h.ended.has_value());
    QCOMPARE(h.dialogs.boxes.size(), 1);
    QVERIFY(h.dialogs.boxes.at(0).text.contains(QStringLiteral("75")));
    if (!openFirst)
        QVERIFY(!form);
    QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
}

void NewCommandTest::newWhileOpenRaisesSameDialog()
{
    SessionHarness h;
    h.start();
    const qsizetype logged = h.logMessages().size();
    Form4* form = clickNew(h);
    QTest::keyClicks(form->Text1, QStringLiteral("half"));

    Form4* again = clickNew(h);

    QCOMPARE(again, form);
    QVERIFY(form->isVisible());
    QCOMPARE(form->Text1->text(), QStringLiteral("half"));
    QCOMPARE(logSince(h, logged), QStringList({SelectsNew}));
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.cbegin(), windows.cend(),
                           [](const QWidget* w) { return w->objectName() == "Form4"; }),
             1);
    form->close();
}

void NewCommandTest::escapeAndFrameCloseDoNothingElse()
{
    SessionHarness h;
    h.start();
    const qsizetype logged = h.logMessages().size();
    Form4* form = clickNew(h);
    QTest::keyClicks(form->Text1, QStringLiteral("abc"));

    QTest::keyClick(form->Text1, Qt::Key_Escape);
    QVERIFY(form->isVisible());
    QCOMPARE(h.m->Form4.data(), form);

    form->close(); // as the window frame's close control does
    QVERIFY(!h.m->Form4);
    QCOMPARE(logSince(h, logged), QStringList({SelectsNew}));
    QVERIFY(!QFile::exists(h.path(QStringLiteral("abc.qld"))));

    Form4* fresh = clickNew(h);
    QVERIFY(fresh);
    QVERIFY(fresh->isVisible());
    QCOMPARE(fresh->Text1->text(), QString());
    QCOMPARE(logSince(h, logged), QStringList({SelectsNew, SelectsNew}));
    fresh->close();
}

void NewCommandTest::cancelCloses()
{
    SessionHarness h;
    h.start();
    const qsizetype logged = h.logMessages().size();
    Form4* form = clickNew(h);
    QTest::keyClicks(form->Text1, QStringLiteral("never"));

    QTest::mouseClick(form->Command2, Qt::LeftButton);

    QVERIFY(!h.m->Form4);
    QVERIFY(!form->isVisible());
    QCOMPARE(logSince(h, logged),
             QStringList({SelectsNew, QStringLiteral(" User cancels new file creation")}));
    QVERIFY(!QFile::exists(h.path(QStringLiteral("never.qld"))));
    QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
}

void NewCommandTest::layoutFollowsDesign()
{
    SessionHarness h;
    h.start();
    Form4* form = clickNew(h);
    QVERIFY(QTest::qWaitForWindowExposed(form));

    QCOMPARE(form->objectName(), QStringLiteral("Form4"));
    QCOMPARE(form->windowTitle(), QStringLiteral("Create New Theme File"));
    QVERIFY(form->isWindow());
    QVERIFY(!form->parentWidget());
    QCOMPARE(form->windowModality(), Qt::NonModal);
    QCOMPARE(form->size(), twipsRect(form, 0, 0, 6690, 1560).size());

    struct Placed
    {
        const char* name;
        QWidget* widget;
        QRect twips;
    };
    const QList<Placed> controls{
        {"Label2", form->Label2, twipsRect(form, 120, 120, 6375, 255)},
        {"Text1", form->Text1, twipsRect(form, 120, 480, 6375, 285)},
        {"Label1", form->Label1, twipsRect(form, 2760, 480, 1215, 495)},
        {"Command1", form->Command1, twipsRect(form, 1800, 960, 1215, 495)},
        {"Command2", form->Command2, twipsRect(form, 3240, 960, 1215, 495)},
    };
    for (const Placed& control : controls) {
        QCOMPARE(form->findChild<QWidget*>(QString::fromLatin1(control.name)), control.widget);
        QCOMPARE(control.widget->geometry(), control.twips);
    }
    QCOMPARE(form->Label2->text(), QStringLiteral("Enter Name of New Theme File"));
    QCOMPARE(form->Label1->text(), QStringLiteral("Label1"));
    QCOMPARE(form->Command1->text(), QStringLiteral("Create It"));
    QCOMPARE(form->Command2->text(), QStringLiteral("Cancel"));
    QCOMPARE(form->Text1->text(), QString());
    // Label1 is there but drawn under the name box.
    QVERIFY(form->Label1->isVisible());
    QCOMPARE(form->childAt(form->Label1->geometry().topLeft() + QPoint(4, 4)), form->Text1);
    for (QPushButton* button : {form->Command1, form->Command2}) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }

    QVERIFY(QTest::qWaitForWindowActive(form));
    QCOMPARE(QApplication::focusWidget(), form->Text1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form->Command1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form->Command2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form->Text1);
    form->close();
}

std::unique_ptr<QObject> makeNewCommandTests()
{
    return std::make_unique<NewCommandTest>();
}

#include "NewCommandTest.moc"
