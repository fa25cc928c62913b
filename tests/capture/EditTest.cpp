#include "CaptureTestSupport.h"

#include "capture/Form3.h"
#include "support/SessionHarness.h"

#include <QPlainTextEdit>
#include <QTest>

// Edit and its Process dialog.
class EditTest : public CaptureTest
{
    Q_OBJECT

private slots:
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
        h.stepTo(2);
        h.toolbar.text = "shown before";
        const QStringList items = comboItems(h);
        h.browsers.calls.clear();

        Form3* form = edit(h);
        QVERIFY(form);
        clickIn(form, "Command1");

        QCOMPARE(h.read("default.qld"), file);
        QCOMPARE(comboItems(h), items);
        QCOMPARE(h.toolbar.text, QStringLiteral("shown before"));
        QCOMPARE(h.m->theme().LinkIndex(), qint16(2));
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
};

std::unique_ptr<QObject> makeEditTests()
{
    return std::make_unique<EditTest>();
}

#include "EditTest.moc"
