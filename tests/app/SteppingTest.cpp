#include "AppTests.h"
#include "app/ClassicComboBox.h"
#include "app/QtDialogs.h"
#include "app/StepTimer.h"
#include "support/Harness.h"
#include "themes/ThemeCommands.h"

#include <QApplication>
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
        QTest::newRow("step key")
            << true << Action([](Harness& h) { pressStepKey(h, StepKey::Right); }) << true << true;
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

    void downloadPassedOverIsLoggedOncePerLink()
    {
        Harness h;
        h.start();
        StepTimer timer(*h.m, *h.form, 60s);
        const QByteArray log = h.read("error.log");
        for (const char* link : {"http://a/file", "http://b/file", "http://a/file"})
            h.browsers.passOverDownload(QString::fromLatin1(link));
        QCoreApplication::processEvents();
        const QList<QByteArray> added = h.read("error.log").mid(log.size()).split('\n');
        QCOMPARE(added.size(), 3);
        QVERIFY(added.at(0).endsWith(" Timed step passed over a download: http://a/file\r"));
        QVERIFY(added.at(1).endsWith(" Timed step passed over a download: http://b/file\r"));
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
