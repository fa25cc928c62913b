#include "AppTests.h"
#include "app/ClassicComboBox.h"
#include "app/QtDialogs.h"
#include "app/StepTimer.h"
#include "platform/FileStore.h"
#include "session/BrowserRestart.h"
#include "support/Harness.h"
#include "themes/ThemeCommands.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {
// The shipped default theme file, which the start-up loads: five links.
const QStringList defaultLinks{"https://www.debian.org/", "https://www.gnu.org/",
                               "https://www.wikipedia.org/", "https://www.kernel.org/",
                               "https://www.qt.io/"};

void click(Harness& h, const char* name)
{
    QTest::mouseClick(h.form->findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
}

void pressStepKey(Harness& h, StepKey key)
{
    h.browsers.pressStepKey(key);
    // The key's step runs from the event loop, as the browser's report does.
    QCoreApplication::processEvents();
}

// The page's load ends; the browser's report is taken from the event loop.
void loaded(Harness& h)
{
    h.browsers.finishLoad();
    QCoreApplication::processEvents();
}

// Waits for the event, however long a busy machine takes to bring it.
void until(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool logged(Harness& h, const QString& part)
{
    return !h.logMessages().filter(part).isEmpty();
}

// Something done to the program: a dialog opened or closed as the program does it (a modal
// one blocks in its own event loop until closed), or a user's step.
using Action = std::function<void(Harness&)>;
} // namespace

Q_DECLARE_METATYPE(Action)

class TestStepping : public QObject
{
    Q_OBJECT

private slots:
    void keysStepAsTheButtonsDo_data()
    {
        QTest::addColumn<StepKey>("key");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("prefetched");
        QTest::newRow("right") << StepKey::Right << 2 << 3;
        QTest::newRow("left wraps to the last") << StepKey::Left << 5 << 1;
    }
    void keysStepAsTheButtonsDo()
    {
        QFETCH(StepKey, key);
        QFETCH(int, index);
        QFETCH(int, prefetched);
        Harness h;
        h.start();
        h.browsers.calls.clear();
        const QByteArray log = h.read("error.log");
        pressStepKey(h, key);
        QCOMPARE(h.m->theme().LinkIndex(), index);
        QCOMPARE(h.browsers.calls,
                 (QStringList{(key == StepKey::Left ? "Main.NavigateBack(" : "Main.Navigate(") +
                                  defaultLinks.at(index - 1) + ")",
                              "Prefetch.Navigate(" + defaultLinks.at(prefetched - 1) + ")"}));
        QCOMPARE(h.read("error.log"), log);
    }

    void keyIsDroppedWhileAMessageBoxWaits()
    {
        Harness h;
        h.start();
        int indexWhileOpen = 0;
        QTimer::singleShot(0, [&] {
            pressStepKey(h, StepKey::Right);
            indexWhileOpen = h.m->theme().LinkIndex();
            QApplication::activeModalWidget()->close();
        });
        QtDialogs().messageBox(QStringLiteral("text"), QStringLiteral("title"),
                               BoxIcon::CriticalStop);
        QCoreApplication::processEvents();
        QCOMPARE(indexWhileOpen, 1);
        QCOMPARE(h.m->theme().LinkIndex(), 1);
    }

    void timerStepsRightAndWritesNothing()
    {
        Harness h;
        h.start();
        h.browsers.calls.clear();
        const QByteArray log = h.read("error.log");
        StepTimer timer(*h.m, *h.form, 30ms);
        timer.start();
        QTRY_VERIFY(h.browsers.callsStartingWith("Main.Navigate").size() >= 2);
        QCOMPARE(h.browsers.calls.mid(0, 4),
                 (QStringList{"Main.Navigate(" + defaultLinks.at(1) + ")",
                              "Prefetch.Navigate(" + defaultLinks.at(2) + ")",
                              "Main.Navigate(" + defaultLinks.at(2) + ")",
                              "Prefetch.Navigate(" + defaultLinks.at(3) + ")"}));
        QCOMPARE(h.read("error.log"), log);
    }

    void timerWaitsWhileADialogIsOpen_data()
    {
        QTest::addColumn<Action>("open");
        QTest::addColumn<Action>("close");
        QTest::newRow("message box") << Action([](Harness&) {
            QtDialogs().messageBox(QStringLiteral("text"), QStringLiteral("title"),
                                   BoxIcon::CriticalStop);
        }) << Action([](Harness&) { QApplication::activeModalWidget()->close(); });
        QTest::newRow("New's dialog")
            << Action([](Harness& h) { h.run([&h] { NewCommand(*h.m); }); })
            << Action([](Harness& h) { h.m->Form4->close(); });
        QTest::newRow("the list dropped down") << Action([](Harness& h) {
            h.form->show();
            QTest::keyClick(h.form->Combo1->focusProxy(), Qt::Key_Down, Qt::AltModifier);
        }) << Action([](Harness&) {
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        });
    }
    void timerWaitsWhileADialogIsOpen()
    {
        QFETCH(Action, open);
        QFETCH(Action, close);
        Harness h;
        h.start();
        StepTimer timer(*h.m, *h.form, 30ms);
        int indexWhileOpen = 0;
        bool closed = false;
        QTimer::singleShot(0, [&] {
            timer.start();
            // Ten intervals with the dialog open.
            QTimer::singleShot(300, [&] {
                indexWhileOpen = h.m->theme().LinkIndex();
                close(h);
                closed = true;
            });
            open(h);
        });
        QTRY_VERIFY(closed);
        QCOMPARE(indexWhileOpen, 1);
        QTRY_VERIFY(h.m->theme().LinkIndex() > 1);
    }

    // A page asked for waits for its load; the user's input counts as a step without a page.
    void intervalStartsAgain_data()
    {
        QTest::addColumn<bool>("loadedBefore");
        QTest::addColumn<Action>("act");
        QTest::addColumn<bool>("restarted");
        QTest::addColumn<bool>("awaitingLoad");
        const auto clicking = [](const char* name) {
            return Action([name](Harness& h) { click(h, name); });
        };
        QTest::newRow("page loaded") << false << Action(loaded) << true << false;
        QTest::newRow("page loads again") << true << Action(loaded) << false << false;
        QTest::newRow("Right") << true << clicking("Command4") << true << true;
        QTest::newRow("Left") << true << clicking("Command2") << true << true;
        QTest::newRow("Corvane") << true << clicking("Command3") << true << true;
        QTest::newRow("Support") << true << clicking("Command8") << true << true;
        QTest::newRow("pick") << true << Action([](Harness& h) { emit h.form->Combo1->picked(); })
                              << true << true;
        QTest::newRow("step key") << true
                                  << Action([](Harness& h) { pressStepKey(h, StepKey::Right); })
                                  << true << true;
        QTest::newRow("input in the page") << true << Action([](Harness& h) {
            h.browsers.workInPage();
            QCoreApplication::processEvents();
        }) << true << false;
        QTest::newRow("key in the toolbar") << true << Action([](Harness& h) {
            QTest::keyClick(h.form->Combo1->focusProxy(), Qt::Key_A);
        }) << true << false;
        QTest::newRow("pointer over the toolbar") << true << Action([](Harness& h) {
            h.form->show();
            QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
            QTest::mouseMove(h.form.get(), {5, 5});
        }) << true << false;
        QTest::newRow("a script's key in the toolbar") << true << Action([](Harness& h) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QCoreApplication::sendEvent(h.form->Combo1->focusProxy(), &key);
        }) << false << false;
    }
    void intervalStartsAgain()
    {
        QFETCH(bool, loadedBefore);
        QFETCH(Action, act);
        QFETCH(bool, restarted);
        QFETCH(bool, awaitingLoad);
        Harness h;
        h.start();
        StepTimer timer(*h.m, *h.form, 60s);
        timer.start();
        if (loadedBefore)
            loaded(h);
        QTest::qWait(200);
        const auto left = timer.remaining();
        QVERIFY(left <= 59900ms);
        act(h);
        QCOMPARE(timer.remaining() > left, restarted);
        QCOMPARE(timer.awaitingLoad(), awaitingLoad);
    }

    // However early the first page loads, its interval starts with the timer, not one later.
    void firstPageLoadedBeforeTheTimerGetsOneInterval()
    {
        Harness h;
        h.start();
        loaded(h);
        StepTimer timer(*h.m, *h.form, 60s);
        timer.start();
        QCoreApplication::processEvents();
        QVERIFY(!timer.awaitingLoad());
        QVERIFY(timer.remaining() > 59s);
    }

    // Once per link: a link that fails every round would fill the log of a wall screen.
    void passedOverLinkIsLoggedOnce()
    {
        Harness h;
        h.start();
        StepTimer timer(*h.m, *h.form, 60s);
        const QByteArray log = h.read("error.log");
        const QString failed = QStringLiteral("a link that did not load (ConnectionRefused)");
        for (const char* link : {"http://a/file", "http://b/file", "http://a/file"})
            h.browsers.passOver(QString::fromLatin1(link), QStringLiteral("a download"));
        h.browsers.passOver(QStringLiteral("http://c/"), failed);
        h.browsers.passOver(QStringLiteral("http://c/"), failed);
        QCoreApplication::processEvents();
        const QList<QByteArray> added = h.read("error.log").mid(log.size()).split('\n');
        QCOMPARE(added.size(), 4);
        QVERIFY(added.at(0).endsWith(" Timed step passed over a download: http://a/file\r"));
        QVERIFY(added.at(1).endsWith(" Timed step passed over a download: http://b/file\r"));
        QVERIFY(added.at(2).endsWith(" Timed step passed over a link that did not load "
                                     "(ConnectionRefused): http://c/\r"));
    }

    // What nobody at the screen asked for goes to the log instead of a box, and the step goes on.
    void unattendedStepLogsInsteadOfABox_data()
    {
        QTest::addColumn<Action>("act");
        QTest::addColumn<QString>("line");
        const auto theme = [](Harness& h) { return h.path("default.qld"); };
        QTest::newRow("theme file past the bound") << Action([=](Harness& h) {
            QVERIFY(QFile::resize(theme(h), FileStore::MaxBytes + 1));
        }) << " could not be read: Out of memory";
        QTest::newRow("theme file gone")
            << Action([=](Harness& h) { QVERIFY(QFile::remove(theme(h))); })
            << " could not be read: File not found";
        QTest::newRow("theme file unreadable") << Action([=](Harness& h) {
            QVERIFY(QFile::remove(theme(h)));
            QVERIFY(QDir().mkdir(theme(h)));
        }) << " could not be read: ";
        QTest::newRow("outside change past the list's bound") << Action([=](Harness& h) {
            QByteArray links;
            for (int i = 0; i <= 500; ++i)
                links += "http://l" + QByteArray::number(i) + "/\r\n";
            h.write("default.qld", links);
        }) << "The following error was recoded:  9";
        QTest::newRow("web list's bad answer") << Action([](Harness& h) {
            h.run([&h] { h.m->theme().LoadThemeFile("http://127.0.0.1:1/list.qld"); });
            until([&h] { return h.m->theme().awaited().isEmpty(); });
        })
                                               << "http://127.0.0.1:1/list.qld cannot be opened: "
                                                  "the default theme file takes its place";
        QTest::newRow("browser gone")
            << Action([](Harness& h) { h.browsers.failOn("Main.Navigate"); })
            << " The browser ended (it does not answer) and was started again";
    }
    void unattendedStepLogsInsteadOfABox()
    {
        QFETCH(Action, act);
        QFETCH(QString, line);
        Harness h;
        h.start();
        StepTimer timer(*h.m, *h.form, 60s);
        act(h);
        h.run([&h] { h.m->theme().TimedStep(); });
        until([&] { return logged(h, line) && !h.m->browserRestart->pending(); });
        QVERIFY(h.dialogs.boxes.isEmpty());
        QVERIFY(!h.ended);
        // The step went on, from the first link to the second.
        QCOMPARE(h.m->theme().LinkIndex(), 2);
        QCOMPARE(h.browsers.callsStartingWith("Main.Navigate").constLast(),
                 "Main.Navigate(" + h.m->theme().Links(2) + ")");
    }

    // A browser that keeps ending is started at most five times in ten minutes, then once a
    // minute, on the clock that the test moves.
    void browserRestartsAreBounded()
    {
        Harness h;
        h.start();
        StepTimer timer(*h.m, *h.form, 60s);
        BrowserRestart& restart = *h.m->browserRestart;
        const auto restarts = [&h] { return h.browsers.callsStartingWith("drop").size(); };
        const auto endAndSettle = [&] {
            h.browsers.endBrowser();
            until([&] { return !h.browsers.endWatchers.isEmpty() || restart.waiting(); });
        };
        for (int i = 1; i <= BrowserRestart::Burst; ++i) {
            endAndSettle();
            QCOMPARE(restarts(), i);
        }
        QCOMPARE(h.logMessages().filter(" and was started again").size(), BrowserRestart::Burst);
        endAndSettle();
        QVERIFY(restart.remaining() > 59s);
        QCOMPARE(restarts(), BrowserRestart::Burst);
        QVERIFY(
            logged(h, " The browser ended 5 times in 10 minutes: it is tried again once a minute"));
        h.clock.moment = h.clock.moment.addSecs(30);
        h.run([&] { restart.tryAgain(); });
        QVERIFY(restart.remaining() > 29s);
        h.clock.moment = h.clock.moment.addSecs(30);
        h.run([&] { restart.tryAgain(); });
        QCOMPARE(restarts(), BrowserRestart::Burst + 1);
        // It does not spin: the next end waits for its minute too, with no further line.
        const int lines = h.logMessages().size();
        endAndSettle();
        QVERIFY(restart.remaining() > 59s);
        QCOMPARE(h.logMessages().size(), lines);
        // Ten quiet minutes later an end is met at once again.
        h.clock.moment = h.clock.moment.addSecs(11 * 60);
        h.run([&] { restart.tryAgain(); });
        endAndSettle();
        QCOMPARE(restarts(), BrowserRestart::Burst + 3);
        QCOMPARE(h.browsers.callsStartingWith("Main.Navigate").constLast(),
                 "Main.Navigate(" + defaultLinks.at(0) + ")");
    }

    // A page that does not finish loading in a whole interval gets its interval from then on.
    void unfinishedPageGetsItsIntervalAfterOne()
    {
        Harness h;
        h.start();
        StepTimer timer(*h.m, *h.form, 1s);
        timer.start();
        QVERIFY(timer.awaitingLoad());
        QTRY_VERIFY(!timer.awaitingLoad());
        QCOMPARE(h.m->theme().LinkIndex(), 1);
        QTRY_COMPARE(h.m->theme().LinkIndex(), 2);
        QVERIFY(timer.awaitingLoad());
    }
};

std::unique_ptr<QObject> makeSteppingTests()
{
    return std::make_unique<TestStepping>();
}

#include "SteppingTest.moc"
