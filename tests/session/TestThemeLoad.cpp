#include "LinkTestSupport.h"
#include "SessionTests.h"

#include "app/ClassicComboBox.h"
#include "support/Harness.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

namespace {
const QString captionPrefix = QStringLiteral("Quillon Version 2.8    ");
const QString missingBox = QStringLiteral("Theme File Error - WILL KEEP CURRENT THEME FILE.");

QStringList numberedList(int count)
{
    QStringList links;
    for (int i = 1; i <= count; ++i)
        links << numberedLink(i);
    return links;
}

QStringList linkSlots(const SessionHarness& h, int from, int to)
{
    QStringList links;
    for (int i = from; i <= to; ++i)
        links << h.m->theme().Links(i);
    return links;
}

QStringList boxTexts(const SessionHarness& h)
{
    QStringList texts;
    for (const ScriptedDialogs::Box& box : h.dialogs.boxes)
        texts << box.text + " | " + box.title;
    return texts;
}

// The log entries written since `before` entries were there.
QStringList newLogLines(const SessionHarness& h, qsizetype before)
{
    return h.logMessages().mid(before);
}

ino_t inode(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

QString opensNormally(const QString& path)
{
    return ' ' + path + " opens normally";
}
} // namespace

class TestThemeLoad : public QObject
{
    Q_OBJECT

private slots:
    void loadsUpTo500Links_data()
    {
        QTest::addColumn<int>("links");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("browserCalls");
        const QString l1 = numberedLink(1);
        QTest::newRow("0") << 0 << 0 << QStringList{"Main.Navigate()"};
        QTest::newRow("1") << 1 << 1
                           << QStringList{"Main.Navigate(" + l1 + ")",
                                          "Prefetch.Navigate(" + l1 + ")"};
        QTest::newRow("3") << 3 << 3
                           << QStringList{"Main.Navigate(" + l1 + ")",
                                          "Prefetch.Navigate(" + numberedLink(2) + ")"};
        QTest::newRow("500") << 500 << 500
                             << QStringList{"Main.Navigate(" + l1 + ")",
                                            "Prefetch.Navigate(" + numberedLink(2) + ")"};
        QTest::newRow("501") << 501 << 500
                             << QStringList{"Main.Navigate(" + l1 + ")",
                                            "Prefetch.Navigate(" + numberedLink(2) + ")"};
    }
    void loadsUpTo500Links()
    {
        QFETCH(int, links);
        QFETCH(int, count);
        QFETCH(QStringList, browserCalls);
        SessionHarness h;
        startWithTheme(h, numberedLinks(7), "longer.qld");
        const qsizetype before = h.logMessages().size();
        QStringList logAtBox;
        h.dialogs.onBox = [&](const ScriptedDialogs::Box&) { logAtBox = h.logMessages(); };

        loadTheme(h, numberedLinks(links));

        QCOMPARE(h.m->theme().LinkCount(), count);
        QCOMPARE(h.m->theme().LinkIndex(), 1);
        QCOMPARE(linkSlots(h, 1, count), numberedList(count));
        QCOMPARE(linkSlots(h, count + 1, 500), QStringList(500 - count));
        QCOMPARE(comboEntries(h), numberedList(count));
        QCOMPARE(comboText(h), count ? numberedLink(1) : QString());
        QCOMPARE(h.browsers.calls, browserCalls);
        QCOMPARE(caption(h), captionPrefix + h.path("list.qld").toUpper());
        QCOMPARE(openDescriptorsOn(h.path("list.qld")), 0);
        QVERIFY(!h.ended);
        if (links <= 500) {
            QCOMPARE(h.dialogs.boxes.size(), 0);
            QCOMPARE(newLogLines(h, before), QStringList{opensNormally(h.path("list.qld"))});
            return;
        }
        QCOMPARE(boxTexts(h), QStringList{"Uknown Error  9 | Most Mysterious Occurrence"});
        QCOMPARE(h.dialogs.boxes.first().icon, BoxIcon::CriticalStop);
        QCOMPARE(logAtBox.constLast(), QStringLiteral("The following error was recoded:  9 "));
        QCOMPARE(newLogLines(h, before), (QStringList{"The following error was recoded:  9 ",
                                                      opensNormally(h.path("list.qld"))}));
    }

    void tidiesTheFileOnDisk_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("tidied");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("second line empty, third without line end")
            << QByteArray("http://a/\r\n\r\nhttp://c/") << QByteArray("http://a/\r\nhttp://c/\r\n")
            << QStringList{"http://a/", "http://c/"};
        QTest::newRow("0 bytes") << QByteArray() << QByteArray() << QStringList{};
        QTest::newRow("only empty lines")
            << QByteArray("\r\n\r\n\r") << QByteArray() << QStringList{};
        QTest::newRow("lone CR line ends")
            << QByteArray("a\rb\r") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("comma outside quotes, line stays whole")
            << QByteArray("http://a/,http://b/\r\n") << QByteArray("http://a/,http://b/\r\n")
            << QStringList{"http://a/", "http://b/"};
        QTest::newRow("quoted comma")
            << QByteArray("\"http://a/?x=1,2\"\r\n") << QByteArray("\"http://a/?x=1,2\"\r\n")
            << QStringList{"http://a/?x=1,2"};
        QTest::newRow("leading blanks")
            << QByteArray("   http://a/\r\n\r\n") << QByteArray("   http://a/\r\n")
            << QStringList{"http://a/"};
        QTest::newRow("Windows-1252 keeps its bytes")
            << QByteArray("http://a/caf\xe9\r\n\r\n") << QByteArray("http://a/caf\xe9\r\n")
            << QStringList{QStringLiteral("http://a/caf\u00e9")};
        QTest::newRow("UTF-8 keeps its bytes")
            << QByteArray("http://a/caf\xc3\xa9\r\n\r\n") << QByteArray("http://a/caf\xc3\xa9\r\n")
            << QStringList{QStringLiteral("http://a/caf\u00e9")};
    }
    void tidiesTheFileOnDisk()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, tidied);
        QFETCH(QStringList, links);
        SessionHarness h;
        h.start();
        const QStringList installed = folderEntries(h.installDir);
        loadTheme(h, content);
        QCOMPARE(h.read("list.qld"), tidied);
        QCOMPARE(comboEntries(h), links);
        QCOMPARE(h.m->theme().LinkCount(), links.size());
        // Nothing but the theme file itself: no scratch file, no half-written copy.
        QStringList expected = installed + QStringList{"list.qld"};
        expected.sort();
        QCOMPARE(folderEntries(h.installDir), expected);
        QVERIFY(!QFile::exists(h.path("temp.dat")));
    }

    void tidyFileIsNotRewritten()
    {
        SessionHarness h;
        h.start();
        h.write("list.qld", numberedLinks(3));
        const ino_t before = inode(h.path("list.qld"));
        loadTheme(h, numberedLinks(3));
        QCOMPARE(inode(h.path("list.qld")), before);
        h.write("list.qld", numberedLinks(3) + "\r\n");
        loadTheme(h, numberedLinks(3) + "\r\n");
        QCOMPARE(h.read("list.qld"), numberedLinks(3));
    }

    void reloadInPlaceTouchesNeitherBrowser()
    {
        SessionHarness h;
        startWithTheme(h, numberedLinks(5));
        h.stepTo(3);
        const QString shownCaption = caption(h);
        h.write("list.qld", numberedLinks(5) + "\r\n\r\nhttp://added.example/");
        const qsizetype before = h.logMessages().size();
        const QSignalSpy cleared(&h.m->theme(), &ThemeDocument::listCleared);

        h.toolbar.text = QStringLiteral("Current link added to end of file.");
        h.run([&h] { h.m->theme().ReloadInPlace(h.path("list.qld")); });

        QCOMPARE(h.browsers.calls, QStringList{});
        QCOMPARE(cleared.count(), 1);
        QCOMPARE(h.m->theme().LinkIndex(), 3);
        QCOMPARE(h.m->theme().LinkCount(), 6);
        QCOMPARE(comboEntries(h), numberedList(5) + QStringList{"http://added.example/"});
        QCOMPARE(comboText(h), QStringLiteral("Current link added to end of file."));
        QCOMPARE(caption(h), shownCaption);
        QCOMPARE(newLogLines(h, before), QStringList{opensNormally(h.path("list.qld"))});
        QCOMPARE(h.read("list.qld"), numberedLinks(5) + "http://added.example/\r\n");
    }

    void restoredPositionStaysOnTheList_data()
    {
        QTest::addColumn<int>("saved");
        QTest::addColumn<int>("links");
        QTest::addColumn<int>("index");
        QTest::newRow("inside") << 3 << 5 << 3;
        QTest::newRow("last") << 5 << 5 << 5;
        QTest::newRow("beyond the end becomes the last") << 7 << 5 << 5;
        QTest::newRow("empty list") << 4 << 0 << 1;
    }
    void restoredPositionStaysOnTheList()
    {
        QFETCH(int, saved);
        QFETCH(int, links);
        QFETCH(int, index);
        SessionHarness h;
        startWithTheme(h, numberedLinks(10));
        h.stepTo(saved);
        h.write("list.qld", numberedLinks(links));
        h.run([&h] { h.m->theme().ReloadInPlace(h.path("list.qld")); });
        QCOMPARE(h.m->theme().LinkIndex(), index);
    }

    void missingThemeFileFallsBackToTheDefault_data()
    {
        QTest::addColumn<QString>("themeFile");
        QTest::addColumn<QStringList>("logLines");
        QTest::newRow("53 missing file") << QStringLiteral("gone.qld") << QStringList{};
        QTest::newRow("52 no name")
            << QString() << QStringList{" User closes file dialoge with no file"};
    }
    void missingThemeFileFallsBackToTheDefault()
    {
        QFETCH(QString, themeFile);
        QFETCH(QStringList, logLines);
        SessionHarness h;
        startWithTheme(h, numberedLinks(3));
        const QStringList defaults = defaultLinks(h);
        const qsizetype before = h.logMessages().size();
        const QString chosen = themeFile.isEmpty() ? QString() : h.path(themeFile);

        h.run([&h, &chosen] { h.m->theme().LoadThemeFile(chosen); });

        QCOMPARE(boxTexts(h), QStringList{missingBox + " | File Error"});
        QCOMPARE(h.dialogs.boxes.first().icon, BoxIcon::CriticalStop);
        QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
        QCOMPARE(caption(h), captionPrefix + h.m->defaultThemeFile().toUpper());
        QCOMPARE(comboEntries(h), defaults);
        QCOMPARE(h.m->theme().LinkCount(), defaults.size());
        QCOMPARE(newLogLines(h, before), logLines + QStringList{opensNormally(h.m->theme().ThemeFile())});
        QCOMPARE(h.browsers.calls.first(), "Main.Navigate(" + defaults.first() + ")");
    }

    void missingDefaultKeepsThePreviousList_data()
    {
        QTest::addColumn<bool>("reload");
        QTest::addColumn<QString>("shown");
        QTest::newRow("normal load") << false << numberedLink(2);
        QTest::newRow("reload in place") << true << QStringLiteral("kept text");
    }
    void missingDefaultKeepsThePreviousList()
    {
        QFETCH(bool, reload);
        QFETCH(QString, shown);
        SessionHarness h;
        startWithTheme(h, numberedLinks(3));
        h.run([&h] { h.m->theme().MoveRight(); });
        h.browsers.calls.clear();
        const QString shownCaption = caption(h);
        const qsizetype before = h.logMessages().size();
        QFile::remove(h.path("default.qld"));
        if (reload)
            h.toolbar.text = shown;

        h.run([&h, reload] {
            if (reload)
                h.m->theme().ReloadInPlace(h.path("gone.qld"));
            else
                h.m->theme().LoadThemeFile(h.path("gone.qld"));
        });

        QCOMPARE(boxTexts(h),
                 (QStringList{missingBox + " | File Error", missingBox + " | File Error"}));
        QCOMPARE(h.m->theme().ThemeFile(), h.m->defaultThemeFile());
        QCOMPARE(h.m->theme().LinkCount(), 3);
        QCOMPARE(h.m->theme().LinkIndex(), 2);
        QCOMPARE(linkSlots(h, 1, 3), numberedList(3));
        QCOMPARE(comboEntries(h), numberedList(3));
        QCOMPARE(comboText(h), shown);
        QCOMPARE(caption(h), shownCaption);
        QCOMPARE(h.browsers.calls, QStringList{});
        QCOMPARE(newLogLines(h, before), QStringList{});
        QVERIFY(!h.ended);
    }

    // The program's own start-up, with its window.
    void startWithoutDefaultShowsOneBoxAndAnEmptyList()
    {
        Harness h;
        QFile::remove(h.path("default.qld"));
        h.start();
        QVERIFY(!h.ended);
        QCOMPARE(boxTexts(h), QStringList{missingBox + " | File Error"});
        QCOMPARE(h.m->theme().LinkCount(), 0);
        QCOMPARE(h.m->theme().LinkIndex(), 1);
        QCOMPARE(h.form->Combo1->count(), 0);
        QCOMPARE(h.form->windowTitle(), QStringLiteral("Quillon Version 2.8"));
        QCOMPARE(h.logMessages().mid(8),
                 (QStringList{" Program Activated", " Program initiation considered normal"}));
        QCOMPARE(h.browsers.callsStartingWith("Main.Navigate"), QStringList{});
        h.run([&h] { h.m->theme().MoveRight(); });
        h.run([&h] { h.m->theme().MoveLeft(); });
        QVERIFY(!h.ended);
    }

    void otherFailuresEndTheLoadKeepingTheList_data()
    {
        QTest::addColumn<QString>("themeFile");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("logLines");
        QTest::newRow("76 missing folder") << QStringLiteral("nofolder/list.qld") << QStringList{}
                                           << QStringList{" User cancels new theme file selection"};
        QTest::newRow("75 a folder, not a file")
            << QStringLiteral("folder.qld")
            << QStringList{"Uknown Error  75 | Most Mysterious Occurrence"}
            << QStringList{"The following error was recoded:  75 "};
    }
    void otherFailuresEndTheLoadKeepingTheList()
    {
        QFETCH(QString, themeFile);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, logLines);
        SessionHarness h;
        startWithTheme(h, numberedLinks(4));
        QDir(h.installDir).mkdir(QStringLiteral("folder.qld"));
        const QString shownCaption = caption(h);
        const qsizetype before = h.logMessages().size();
        QStringList logAtBox;
        h.dialogs.onBox = [&](const ScriptedDialogs::Box&) { logAtBox = newLogLines(h, before); };

        h.run([&h, &themeFile] { h.m->theme().ReloadInPlace(h.path(themeFile)); });

        QCOMPARE(boxTexts(h), boxes);
        QCOMPARE(newLogLines(h, before), logLines);
        if (!boxes.isEmpty())
            QCOMPARE(logAtBox, logLines);
        QCOMPARE(h.m->theme().LinkCount(), 4);
        QCOMPARE(h.m->theme().LinkIndex(), 1);
        QCOMPARE(comboEntries(h), numberedList(4));
        QCOMPARE(caption(h), shownCaption);
        QCOMPARE(h.browsers.calls, QStringList{});
        QCOMPARE(openDescriptorsOn(h.path(themeFile)), 0);
        QVERIFY(!h.ended);
        // The failed reload's hand-over is spent: the next load is a normal one.
        loadTheme(h, numberedLinks(2), "next.qld");
        QCOMPARE(comboText(h), numberedLink(1));
        QCOMPARE(h.browsers.callsStartingWith("Main.Navigate"),
                 QStringList{"Main.Navigate(" + numberedLink(1) + ")"});
    }

    void shorterFileLeavesNoEarlierLinkReachable()
    {
        SessionHarness h;
        startWithTheme(h, numberedLinks(5));
        loadTheme(h, "http://x/\r\nhttp://y/\r\n", "short.qld");
        QCOMPARE(linkSlots(h, 1, 5), (QStringList{"http://x/", "http://y/", "", "", ""}));
        h.browsers.calls.clear();
        h.run([&h] { h.m->theme().MoveLeft(); });
        QCOMPARE(h.browsers.calls,
                 (QStringList{"Main.NavigateBack(http://y/)", "Prefetch.Navigate(http://x/)"}));
    }

private:
    static QStringList defaultLinks(SessionHarness& h)
    {
        QStringList links;
        for (const QByteArray& line : h.read("default.qld").split('\n'))
            if (!line.trimmed().isEmpty())
                links << QString::fromUtf8(line.trimmed());
        return links;
    }
};

std::unique_ptr<QObject> makeThemeLoadTests()
{
    return std::make_unique<TestThemeLoad>();
}

#include "TestThemeLoad.moc"
