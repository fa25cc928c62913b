#include "AppTests.h"
#include "app/ClassicComboBox.h"
#include "capture/Form2.h"
#include "capture/Form3.h"
#include "pages/FixedPages.h"
#include "support/Harness.h"
#include "support/ImmutableFile.h"
#include "themes/Form4.h"
#include "themes/ThemeCommands.h"

#include <QTimer>

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QTest>

class TestApp : public QObject
{
    Q_OBJECT

private:
    static QPushButton* button(Harness& h, const char* name)
    {
        return h.form->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    // The toolbar started on three links and shown, with the focus where a user left it.
    static void startOnScreen(Harness& h)
    {
        h.write("default.qld", "http://a/\r\nhttp://b/\r\nhttp://c/\r\n");
        h.start();
        h.form->show();
        QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
    }
    // The Qt combo box that takes the list's input.
    static QComboBox* innerList(QWidget* combo)
    {
        if (auto* itself = qobject_cast<QComboBox*>(combo))
            return itself;
        return combo->findChild<QComboBox*>();
    }
    static QStringList startupBrowserCalls()
    {
        return {"create Main",       "create Prefetch", "Prefetch.Visible=false",
                "Main.Visible=true", "Main.Top=78",     "Main.Left=0"};
    }

private slots:
    void startupWritesItsEntriesInOrder()
    {
        Harness h;
        h.start();
        QVERIFY(!h.ended);
        const QStringList log = h.logMessages();
        QCOMPARE(log.first(), QStringLiteral("Error log started 1/3/26 09:05"));
        QCOMPARE(log.mid(8),
                 (QStringList{" Program Activated", ' ' + h.path("default.qld") + " opens normally",
                              " Program initiation considered normal"}));
        QCOMPARE(h.m->theme().ThemeFile(), h.path("default.qld"));
        QCOMPARE(h.browsers.calls.mid(0, 6), startupBrowserCalls());
        QCOMPARE(h.browsers.firstLinkAtCreate, QStringLiteral("https://www.debian.org/"));
    }

    // A theme file named on the command line takes the default theme file's place; one that
    // cannot be opened gives way to it after the load's own box, so that a list is on show.
    void startupWithAThemeFile_data()
    {
        QTest::addColumn<QString>("name"); // in the temporary directory; only lesson.qld opens
        QTest::newRow("a theme file") << "lesson.qld";
        QTest::newRow("a missing theme file") << "missing.qld";
        QTest::newRow("a folder") << "folder.qld";
        QTest::newRow("a missing folder") << "nowhere/lesson.qld";
    }
    void startupWithAThemeFile()
    {
        QFETCH(QString, name);
        Harness h;
        // Blank lines first: the window is made on the link that the load then shows.
        h.write(h.temp.filePath(QStringLiteral("lesson.qld")),
                "\r\n\r\nhttp://lesson.example/\r\nhttp://second.example/\r\n");
        QDir().mkpath(h.temp.filePath(QStringLiteral("folder.qld")));
        const QString named = h.temp.filePath(name);
        h.run([&h, &named] { h.form->Form_Load(named); });
        const bool opens = name == QLatin1String("lesson.qld");
        const QString loaded = opens ? named : h.m->defaultThemeFile();
        QCOMPARE(h.logMessages().mid(8),
                 (QStringList{" Program Activated", ' ' + loaded + " opens normally",
                              " Program initiation considered normal"}));
        QCOMPARE(h.dialogs.boxes.size(), opens ? 0 : 1);
        QCOMPARE(h.form->Combo1->Text(),
                 QString::fromLatin1(opens ? "http://lesson.example/" : "https://www.debian.org/"));
        // A file that does not open gives no link to make the window on.
        QCOMPARE(h.browsers.firstLinkAtCreate, opens ? h.form->Combo1->Text() : QString());
    }

    void browserIsPlacedBelowTheToolbarInScreenPixels()
    {
        Harness h;
        h.start();
        const QScreen* screen = QGuiApplication::primaryScreen();
        const double twipsHigh =
            screen->geometry().height() * 1440.0 / screen->logicalDotsPerInchY();
        // The designed width is a little wider than the screen: held to it.
        QCOMPARE(h.browsers.calls.at(6),
                 QStringLiteral("Main.Width=%1").arg(screen->geometry().width()));
        QCOMPARE(h.browsers.calls.at(7),
                 QStringLiteral("Main.Height=%1").arg(qRound(twipsHigh * 0.055)));
    }

    void existingLogGetsOnlyTheNewEntries()
    {
        Harness h;
        h.write("error.log", "earlier\r\n");
        h.start();
        QCOMPARE(h.logMessages().first(), QStringLiteral("earlier"));
        QCOMPARE(h.logMessages().at(1), QStringLiteral(" Program Activated"));
    }

    void endWritesTheSessionEndAndQuitsOnlyTheVisibleBrowser()
    {
        Harness h;
        h.start();
        h.browsers.calls.clear();
        QTest::mouseClick(button(h, "Command1"), Qt::LeftButton);
        QCOMPARE(h.ended, std::optional<int>(0));
        QCOMPARE(h.logMessages().mid(h.logMessages().size() - 3),
                 (QStringList{" Program terminated normally", "End of this session", "+"}));
        QCOMPARE(h.browsers.calls, QStringList{"Main.Quit"});
        QVERIFY(h.read("error.log").endsWith("End of this session\r\n+\r\n"));
    }

    void endThatCannotWriteTheLogEndsWithoutQuitting()
    {
        Harness h;
        h.start();
        h.browsers.calls.clear();
        QVERIFY(QFile::remove(h.path("error.log")));
        QVERIFY(QDir(h.installDir).removeRecursively());
        QTest::mouseClick(button(h, "Command1"), Qt::LeftButton);
        QCOMPARE(h.ended, std::optional<int>(0));
        QVERIFY(h.browsers.calls.isEmpty());
        QVERIFY(h.dialogs.boxes.isEmpty());
    }

    void browserThatCannotBeCreatedEndsThroughBrowserFailure_data()
    {
        QTest::addColumn<QString>("failingCall");
        QTest::newRow("visible instance") << "create Main";
        QTest::newRow("hidden instance") << "create Prefetch";
        QTest::newRow("placing the window") << "Main.Top";
    }
    void browserThatCannotBeCreatedEndsThroughBrowserFailure()
    {
        QFETCH(QString, failingCall);
        Harness h;
        h.browsers.failOn(failingCall, 429);
        h.start();
        checkBrowserFailureEnd(h, 1);
    }

    // A screen that steps on its own ends without a box that nobody would close, so that its
    // service starts it again.
    void unattendedStartUpWithoutABrowserEndsWithoutABox()
    {
        Harness h;
        h.m->unattended = true;
        h.browsers.failOn("create Main", 429);
        h.start();
        checkBrowserFailureEnd(h, 0);
    }

private:
    static void checkBrowserFailureEnd(Harness& h, int boxes)
    {
        QCOMPARE(h.ended, std::optional<int>(1));
        QCOMPARE(h.dialogs.boxes.size(), boxes);
        if (boxes > 0) {
            QCOMPARE(h.dialogs.boxes[0].text, QStringLiteral("Internet Explorer Error"));
            QCOMPARE(h.dialogs.boxes[0].title, QStringLiteral("MSIE Detection Error"));
            QVERIFY(h.dialogs.boxes[0].icon == BoxIcon::Exclamation);
        }
        QCOMPARE(h.logMessages().mid(8),
                 (QStringList{" Program Activated", " Microsoft Explorer detection failure",
                              " Program terminated with error", "End of this session", "+"}));
        QVERIFY(h.browsers.callsStartingWith("Main.Quit").isEmpty());
    }

private slots:

    void browserFailureThatCannotLogEndsThroughTheGenericReport()
    {
        Harness h;
        h.start();
        const ImmutableFile log(h.path("error.log"));
        if (!log.made())
            QSKIP("the file system refuses the immutable flag, so the log stays writable");
        h.browsers.failOn("Main.Navigate", 462);
        QTest::mouseClick(button(h, "Command8"), Qt::LeftButton); // Support
        QCOMPARE(h.ended, std::optional<int>(1));
        QCOMPARE(h.dialogs.boxes.size(), 2);
        QCOMPARE(h.dialogs.boxes[0].text, QStringLiteral("Internet Explorer Error"));
        QVERIFY(h.dialogs.boxes[1].text.contains(QStringLiteral("75")));
    }

    void unwritableExistingLogEndsTheStartWithoutItsBox()
    {
        Harness h;
        h.write("error.log", "earlier\r\n");
        const ImmutableFile log(h.path("error.log"));
        if (!log.made())
            QSKIP("the file system refuses the immutable flag, so the log stays writable");
        h.start();
        QCOMPARE(h.ended, std::optional<int>(1));
        QCOMPARE(h.dialogs.boxes.size(), 1); // the generic report only
        QVERIFY(h.dialogs.boxes[0].text.contains(QStringLiteral("75")));
        QCOMPARE(h.browsers.created, 0);
        QCOMPARE(h.read("error.log"), QByteArray("earlier\r\n"));
    }

    void endWhoseQuitFailsStillEnds()
    {
        Harness h;
        h.start();
        h.browsers.failOn("Main.Quit", 462);
        QTest::mouseClick(button(h, "Command1"), Qt::LeftButton);
        QCOMPARE(h.ended, std::optional<int>(0));
        QVERIFY(h.dialogs.boxes.isEmpty());
        QCOMPARE(h.logMessages().last(), QStringLiteral("+"));
    }

    void anOpenDialogKeepsTheProgramRunning()
    {
        Harness h;
        h.start();
        h.form->show();
        h.run([&h] { NewCommand(*h.m); });
        QVERIFY(h.m->Form4);
        // Qt Test turns this off; it is what lets closing the last window end the program.
        QGuiApplication::setQuitOnLastWindowClosed(true);
        bool runningWithoutToolbar = false;
        QTimer::singleShot(0, h.form.get(), [&] {
            h.form->close();
            QTimer::singleShot(50, h.m->Form4, [&] {
                runningWithoutToolbar = true;
                h.m->Form4->close();
            });
        });
        // Only a safety net for a run that would otherwise never end.
        QTimer::singleShot(30000, qApp, &QCoreApplication::quit);
        QApplication::exec();
        QGuiApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(runningWithoutToolbar);
        QVERIFY(!h.m->Form4);
        QVERIFY(!h.ended);
    }

    void missingInstallDirectoryEndsBeforeAnyBrowserExists()
    {
        // Its parent is a file, so the folder can neither be found nor made.
        QTemporaryDir temp;
        Harness h(false);
        h.write(h.temp.path() + "/blocker", "x");
        h.installDir = h.temp.path() + "/blocker/Quillon2/";
        h.platform->installDir = h.installDir;
        h.m = std::make_unique<Module1>(*h.platform, h.browsers);
        h.form = std::make_unique<Form1>(*h.m);
        h.start();
        QCOMPARE(h.ended, std::optional<int>(1));
        QCOMPARE(h.dialogs.boxes.size(), 2);
        QCOMPARE(h.dialogs.boxes[0].text, QStringLiteral("Error  76"));
        QCOMPARE(h.dialogs.boxes[0].title, QStringLiteral("Error"));
        QVERIFY(h.dialogs.boxes[1].text.contains(QStringLiteral("76")));
        QVERIFY(h.dialogs.boxes[1].text.contains(QStringLiteral("Path not found")));
        QCOMPARE(h.browsers.created, 0);
    }

    void toolbarSpansTheScreenAtItsTop()
    {
        Harness h;
        h.start();
        const QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(h.form->pos(), QPoint(0, 0));
        QCOMPARE(h.form->width(), screen->geometry().width());
        QCOMPARE(h.form->height(), h.form->twipsToPixels(765));
        QCOMPARE(h.form->windowTitle(),
                 "Quillon Version 2.8    " + h.path("default.qld").toUpper());
        QCOMPARE(h.form->palette().color(QPalette::Window), QColor(192, 192, 192));
        QVERIFY(!h.form->windowIcon().isNull());
    }

    void controlsSitAtTheirDesignedPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("File") << "Command5"
                              << "File" << QRect(120, 120, 735, 495);
        QTest::newRow("Left") << "Command2"
                              << "Left" << QRect(1080, 120, 735, 495);
        QTest::newRow("Right") << "Command4"
                               << "Right" << QRect(1800, 120, 735, 495);
        QTest::newRow("Corvane") << "Command3"
                                 << "Corvane" << QRect(2760, 120, 735, 495);
        QTest::newRow("End") << "Command1"
                             << "End" << QRect(3720, 120, 735, 495);
        QTest::newRow("Grab") << "Command6"
                              << "Grab" << QRect(4560, 480, 1215, 255);
        QTest::newRow("Edit") << "Command7"
                              << "Edit" << QRect(5760, 480, 1215, 255);
        QTest::newRow("New") << "Command9"
                             << "New" << QRect(6960, 480, 1095, 255);
        QTest::newRow("Support") << "Command8"
                                 << "Support" << QRect(8040, 480, 1215, 255);
        QTest::newRow("list") << "Combo1"
                              << "" << QRect(4560, 120, 4695, 315);
    }
    void controlsSitAtTheirDesignedPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        Harness h;
        QWidget* control = h.form->findChild<QWidget*>(name);
        QVERIFY(control);
        auto px = [&](int t) { return h.form->twipsToPixels(t); };
        QCOMPARE(control->geometry(),
                 QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
        if (auto* asButton = qobject_cast<QPushButton*>(control)) {
            QCOMPARE(asButton->text(), caption);
            QVERIFY(!asButton->autoDefault());
        }
    }

    void tabMovesThroughTheControlsInDesignedOrder()
    {
        Harness h;
        h.form->show();
        QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
        const QStringList order{"Command5", "Command2", "Command4", "Command3", "Command1",
                                "Command6", "Command7", "Command9", "Command8", "Combo1"};
        h.form->findChild<QWidget*>(order.first())->setFocus();
        QStringList visited;
        for (int i = 0; i < order.size(); ++i) {
            QWidget* focused = QApplication::focusWidget();
            while (focused && focused->objectName().isEmpty())
                focused = focused->parentWidget(); // the list's text field
            visited << (focused ? focused->objectName() : QString());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited, order);
    }

    void corvaneRequestsThePageBeforeItsEntry()
    {
        Harness h;
        h.start();
        h.browsers.calls.clear();
        QTest::mouseClick(button(h, "Command3"), Qt::LeftButton);
        QCOMPARE(h.browsers.calls, QStringList{"Main.Navigate(" + FixedPages::Corvane + ")"});
        QCOMPARE(h.logMessages().last(), QStringLiteral(" User visits Corvane Blog"));
        QVERIFY(QUrl(FixedPages::Corvane).path().size() <= 1);
    }

    void corvaneWhoseNavigateFailsEndsWithoutItsEntry()
    {
        Harness h;
        h.start();
        h.browsers.failOn("Main.Navigate");
        QTest::mouseClick(button(h, "Command3"), Qt::LeftButton);
        QCOMPARE(h.ended, std::optional<int>(1));
        QCOMPARE(h.logMessages().last(), QStringLiteral(" Program initiation considered normal"));
        QCOMPARE(h.dialogs.boxes.size(), 1);
        QVERIFY(h.dialogs.boxes[0].text.contains(QStringLiteral("462")));
    }

    void supportWritesItsEntryBeforeThePage()
    {
        Harness h;
        h.start();
        h.browsers.calls.clear();
        QTest::mouseClick(button(h, "Command8"), Qt::LeftButton);
        QCOMPARE(h.browsers.calls, QStringList{"Main.Navigate(" + FixedPages::Support + ")"});
        QCOMPARE(QUrl(FixedPages::Support).path(), QStringLiteral("/quillon"));
        QCOMPARE(h.logMessages().last(), QStringLiteral(" User visits support page"));
    }

    void supportWithTheBrowserGoneEndsThroughBrowserFailure()
    {
        Harness h;
        h.start();
        h.browsers.failOn("Main.Navigate", 462);
        QTest::mouseClick(button(h, "Command8"), Qt::LeftButton);
        QCOMPARE(h.ended, std::optional<int>(1));
        QCOMPARE(h.dialogs.boxes.size(), 1);
        QCOMPARE(h.dialogs.boxes[0].title, QStringLiteral("MSIE Detection Error"));
        QCOMPARE(h.logMessages().mid(h.logMessages().size() - 5),
                 (QStringList{" User visits support page", " Microsoft Explorer detection failure",
                              " Program terminated with error", "End of this session", "+"}));
    }

    void closingTheWindowWritesNothing()
    {
        Harness h;
        h.start();
        h.form->show();
        const QByteArray before = h.read("error.log");
        QVERIFY(h.form->close());
        QCOMPARE(h.read("error.log"), before);
        QVERIFY(!h.ended);
    }

    // Keys in the closed field, a Tab out of it and a click on another button, with the
    // field's text equal to an entry: none of them is a pick.
    void fieldInputAndFocusLossRunNothing()
    {
        Harness h;
        startOnScreen(h);
        QTest::mouseClick(button(h, "Command4"), Qt::LeftButton);
        ClassicComboBox* combo = h.form->Combo1;
        QComboBox* list = innerList(combo);
        combo->setFocus();
        QCOMPARE(QApplication::focusWidget(), list);
        h.browsers.calls.clear();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Up, Qt::Key_Down,
                                  Qt::Key_PageUp, Qt::Key_PageDown})
            QTest::keyClick(QApplication::focusWidget(), key);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != list);
        combo->setFocus();
        QTest::mouseClick(button(h, "Command2"), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), button(h, "Command2"));
        QCOMPARE(h.logMessages().count(QStringLiteral(" User selects from listbox")), 0);
        QCOMPARE(h.browsers.calls,
                 (QStringList{"Main.NavigateBack(http://a/)", "Prefetch.Navigate(http://b/)"}));
        QCOMPARE(combo->Text(), QStringLiteral("http://a/"));
        QCOMPARE(combo->count(), 3);
    }

    void pickFromTheOpenListRunsItsHandlerOnce_data()
    {
        QTest::addColumn<int>("key"); // 0: a click on the entry
        QTest::newRow("click") << 0;
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }
    void pickFromTheOpenListRunsItsHandlerOnce()
    {
        QFETCH(int, key);
        Harness h;
        startOnScreen(h);
        QComboBox* list = innerList(h.form->Combo1);
        list->setFocus();
        h.browsers.calls.clear();
        list->showPopup();
        QAbstractItemView* view = list->view();
        QTRY_VERIFY(view->isVisible());
        const QModelIndex third = view->model()->index(2, 0);
        view->setCurrentIndex(third);
        if (key == 0) {
            // A release this soon after the list opened would belong to the opening click.
            QTest::qWait(QApplication::doubleClickInterval() + 100);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                              view->visualRect(third).center());
        } else {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        }
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(h.logMessages().count(QStringLiteral(" User selects from listbox")), 1);
        QCOMPARE(h.browsers.calls, QStringList{"Main.Navigate(http://c/)"});
        QCOMPARE(h.form->Combo1->Text(), QStringLiteral("http://c/"));
        QCOMPARE(h.m->theme().LinkIndex(), qint16(1));
    }

    // A huge link would freeze the list that shows it whole; the pick still sends all of it.
    void longEntryIsCutInTheListAndPickedWhole()
    {
        Harness h;
        const QString longLink = "http://long.example/" + QString(5000, QLatin1Char('x'));
        h.write("default.qld", "http://a/\r\n" + longLink.toUtf8() + "\r\n");
        h.start();
        h.form->show();
        QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
        QComboBox* list = innerList(h.form->Combo1);
        list->setFocus();
        list->showPopup();
        QAbstractItemView* view = list->view();
        QTRY_VERIFY(view->isVisible());
        const QModelIndex second = view->model()->index(1, 0);
        const QString shown = second.data().toString();
        QVERIFY(shown.size() < 400);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QVERIFY(longLink.startsWith(shown.chopped(1)));
        QCOMPARE(view->model()->index(0, 0).data().toString(), QStringLiteral("http://a/"));
        view->setCurrentIndex(second);
        h.browsers.calls.clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(h.browsers.calls, QStringList{"Main.Navigate(" + longLink + ")"});
        QCOMPARE(h.form->Combo1->Text(), longLink);
    }

    void addingToAnEmptyListKeepsTheShownText()
    {
        Harness h;
        ClassicComboBox* combo = h.form->Combo1;
        combo->Clear();
        combo->setText(QStringLiteral("Current link added to end of file."));
        combo->AddItem(QStringLiteral("http://a.example/"));
        combo->AddItem(QStringLiteral("http://b.example/"));
        QCOMPARE(combo->Text(), QStringLiteral("Current link added to end of file."));
        QCOMPARE(combo->count(), 2);
        combo->Clear();
        QCOMPARE(combo->Text(), QString());
        QCOMPARE(combo->count(), 0);
    }

    // Every caption of the toolbar and the dialogs inside its control's frame with at least two
    // device pixels to spare, at 96 dpi and at 192, where the same designed rectangles have
    // twice the device pixels and the font is drawn at twice the size, hinted anew.
    void captionsFitTheirControls_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("dpi");
        for (const int dpi : {96, 192})
            for (const int window : {1, 2, 3, 4})
                QTest::addRow("Form%d %d dpi", window, dpi) << window << dpi;
    }
    void captionsFitTheirControls()
    {
        QFETCH(int, window);
        QFETCH(int, dpi);
        Harness h;
        const std::unique_ptr<QWidget> dialogs[] = {std::make_unique<Form2>(*h.m),
                                                    std::make_unique<Form3>(*h.m),
                                                    std::make_unique<Form4>(*h.m)};
        const QWidget* shown = window == 1 ? h.form.get() : dialogs[window - 2].get();
        QCOMPARE(QFontInfo(shown->font()).family(), QStringLiteral("DejaVu Sans"));
        QImage screen(1, 1, QImage::Format_RGB32);
        screen.setDotsPerMeterX(qRound(dpi / 0.0254));
        screen.setDotsPerMeterY(qRound(dpi / 0.0254));
        const QFontMetrics metrics(shown->font(), &screen);
        const int scale = dpi / shown->logicalDpiX();
        // A button centres its caption; a label starts it at the left.
        const auto check = [&](const QString& caption, QRect room, int sides) {
            const int across = (room.width() * scale - metrics.horizontalAdvance(caption)) / sides;
            const int down = (room.height() * scale - metrics.height()) / 2;
            QVERIFY2(
                std::min(across, down) >= 2,
                qPrintable(
                    QStringLiteral("%1: %2 across, %3 down").arg(caption).arg(across).arg(down)));
        };
        for (const QPushButton* button : shown->findChildren<QPushButton*>()) {
            QStyleOptionButton option;
            option.initFrom(button);
            check(button->text(),
                  button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button),
                  2);
        }
        for (const QLabel* label : shown->findChildren<QLabel*>())
            check(label->text(), label->contentsRect(), 1);
    }
};

std::unique_ptr<QObject> makeAppTests()
{
    return std::make_unique<TestApp>();
}

#include "test_app.moc"
