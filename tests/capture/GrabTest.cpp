#include "CaptureTestSupport.h"

#include "capture/Form2.h"
#include "support/ImmutableFile.h"
#include "support/SessionHarness.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include <unistd.h>

// Grab and its Add It dialog.
class GrabTest : public CaptureTest
{
    Q_OBJECT

private slots:
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
        h.stepTo(2);
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
        QCOMPARE(h.m->theme().LinkIndex(), qint16(2));
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
        h.run([&h, &theme] { h.m->theme().LoadThemeFile(theme); });
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
};

std::unique_ptr<QObject> makeGrabTests()
{
    return std::make_unique<GrabTest>();
}

#include "GrabTest.moc"
