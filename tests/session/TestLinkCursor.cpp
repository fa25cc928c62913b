#include "LinkTestSupport.h"
#include "SessionTests.h"

#include "app/ClassicComboBox.h"
#include "support/Harness.h"

#include <QPushButton>
#include <QTest>

namespace {
void click(Harness& h, const QString& caption)
{
    const QString name =
        caption == "Left" ? QStringLiteral("Command2") : QStringLiteral("Command4");
    QTest::mouseClick(h.form->findChild<QPushButton*>(name), Qt::LeftButton);
}

QString link(int number)
{
    return number == 0 ? QString() : numberedLink(number);
}
} // namespace

class TestLinkCursor : public QObject
{
    Q_OBJECT

private slots:
    void stepsWrapAtBothEnds_data()
    {
        QTest::addColumn<int>("links");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("prefetched"); // 0: the hidden browser is sent nowhere
        QTest::newRow("3, Right on 1") << 3 << 1 << "Right" << 2 << 3;
        QTest::newRow("3, Right on 2, prefetch wraps") << 3 << 2 << "Right" << 3 << 1;
        QTest::newRow("3, Right on 3 wraps") << 3 << 3 << "Right" << 1 << 2;
        QTest::newRow("3, Left on 3") << 3 << 3 << "Left" << 2 << 3;
        QTest::newRow("3, Left on 1 wraps") << 3 << 1 << "Left" << 3 << 1;
        QTest::newRow("1, Right") << 1 << 1 << "Right" << 1 << 1;
        QTest::newRow("1, Left") << 1 << 1 << "Left" << 1 << 1;
        QTest::newRow("empty, Right") << 0 << 1 << "Right" << 1 << 0;
        QTest::newRow("empty, Left") << 0 << 1 << "Left" << 1 << 0;
        QTest::newRow("500, Right on 499") << 500 << 499 << "Right" << 500 << 1;
        QTest::newRow("500, Right on 500 wraps") << 500 << 500 << "Right" << 1 << 2;
        QTest::newRow("500, Left on 1 wraps") << 500 << 1 << "Left" << 500 << 1;
    }
    void stepsWrapAtBothEnds()
    {
        QFETCH(int, links);
        QFETCH(int, start);
        QFETCH(QString, button);
        QFETCH(int, index);
        QFETCH(int, prefetched);
        Harness h;
        startWithTheme(h, numberedLinks(links));
        h.stepTo(start);
        const QStringList log = h.logMessages();

        click(h, button);

        QCOMPARE(h.m->theme().LinkIndex(), index);
        const QString shown = links ? link(index) : QString();
        QCOMPARE(comboText(h), shown);
        // Left asks the window for a step back, which it may take in its history.
        QStringList calls{(button == "Left" ? "Main.NavigateBack(" : "Main.Navigate(") + shown +
                          ")"};
        if (prefetched)
            calls << "Prefetch.Navigate(" + link(prefetched) + ")";
        QCOMPARE(h.browsers.calls, calls);
        QCOMPARE(h.logMessages(), log);
        QVERIFY(!h.ended);
    }

    void emptyListEndsNothingHoweverOftenStepped()
    {
        Harness h;
        startWithTheme(h, QByteArray());
        for (const char* button : {"Left", "Left", "Right", "Left"})
            click(h, QString::fromLatin1(button));
        QVERIFY(!h.ended);
        QCOMPARE(h.m->theme().LinkIndex(), 1);
        QCOMPARE(h.browsers.callsStartingWith("Prefetch"), QStringList{});
    }

    void pickFromTheListLeavesTheCursor()
    {
        Harness h;
        startWithTheme(h, numberedLinks(10));
        h.stepTo(2);
        const qsizetype before = h.logMessages().size();
        h.form->Combo1->setText(numberedLink(9));

        emit h.form->Combo1->picked();

        QCOMPARE(h.logMessages().mid(before), QStringList{" User selects from listbox"});
        QCOMPARE(h.browsers.calls, QStringList{"Main.Navigate(" + numberedLink(9) + ")"});
        QCOMPARE(h.m->theme().LinkIndex(), 2);
        h.browsers.calls.clear();
        click(h, "Right");
        QCOMPARE(h.browsers.calls, (QStringList{"Main.Navigate(" + numberedLink(3) + ")",
                                                "Prefetch.Navigate(" + numberedLink(4) + ")"}));
    }

    void browserFailureEndsTheProgram_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("action");
        QTest::newRow("Right, visible browser") << "Main.Navigate"
                                                << "Right";
        QTest::newRow("Left, hidden browser") << "Prefetch.Navigate"
                                              << "Left";
        QTest::newRow("pick, visible browser") << "Main.Navigate"
                                               << "pick";
    }
    void browserFailureEndsTheProgram()
    {
        QFETCH(QString, failing);
        QFETCH(QString, action);
        Harness h;
        startWithTheme(h, numberedLinks(3));
        h.browsers.failOn(failing);
        if (action == "pick")
            emit h.form->Combo1->picked();
        else
            click(h, action);
        QCOMPARE(h.ended, std::optional<int>(1));
        QCOMPARE(h.dialogs.boxes.size(), 1);
        QCOMPARE(h.dialogs.boxes.first().text, QStringLiteral("Internet Explorer Error"));
        QCOMPARE(h.dialogs.boxes.first().icon, BoxIcon::Exclamation);
        const QStringList log = h.logMessages();
        QCOMPARE(log.mid(log.size() - 4),
                 (QStringList{" Microsoft Explorer detection failure",
                              " Program terminated with error", "End of this session", "+"}));
    }
};

std::unique_ptr<QObject> makeLinkCursorTests()
{
    return std::make_unique<TestLinkCursor>();
}

#include "TestLinkCursor.moc"
