#include "themefile/FieldReader.h"
#include "themefile/ThemeLinks.h"
#include "themefile/ThemeTidy.h"

#include <QRandomGenerator>
#include <QTest>

namespace {
QByteArrayList readAllFields(const QByteArray& data)
{
    QByteArrayList fields;
    FieldReader reader(data);
    while (!reader.atEnd())
        fields << reader.readField();
    return fields;
}

// The tidying as the classic line-by-line copy, byte by byte: a line ends at CR LF, at a lone
// CR or at the end; an empty line is dropped and every other one is written with CR LF.
QByteArray tidyLineByLine(const QByteArray& content)
{
    QByteArray out;
    QByteArray line;
    for (qsizetype i = 0; i <= content.size(); ++i) {
        if (i < content.size() && content.at(i) != '\r') {
            line += content.at(i);
            continue;
        }
        if (i + 1 < content.size() && content.at(i + 1) == '\n')
            ++i;
        if (!line.isEmpty())
            out += line + "\r\n";
        line.clear();
    }
    return out;
}
} // namespace

class TestThemeFormat : public QObject
{
    Q_OBJECT

private slots:
    void tidyKeepsNonEmptyLinesWithCrLf_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("tidied");
        QTest::newRow("empty file") << QByteArray() << QByteArray();
        QTest::newRow("already tidy") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("missing last line end") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("second line empty, third without line end")
            << QByteArray("a\r\n\r\nc") << QByteArray("a\r\nc\r\n");
        QTest::newRow("lone CR ends a line") << QByteArray("a\rb\r") << QByteArray("a\r\nb\r\n");
        QTest::newRow("empty lines of every kind")
            << QByteArray("\r\n\r\ra\r\r\n\r\nb\r\n\r\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("only empty lines") << QByteArray("\r\n\r\r\n\r") << QByteArray();
        QTest::newRow("lone LF stays in its line")
            << QByteArray("a\nb\n") << QByteArray("a\nb\n\r\n");
        QTest::newRow("LF after CR LF starts the next line")
            << QByteArray("a\r\n\nb") << QByteArray("a\r\n\nb\r\n");
        QTest::newRow("line of blanks stays")
            << QByteArray("a\r\n   \r\n") << QByteArray("a\r\n   \r\n");
        QTest::newRow("commas, quotes and blanks stay")
            << QByteArray(" \"x,y\" , z \r") << QByteArray(" \"x,y\" , z \r\n");
        QTest::newRow("Windows-1252 bytes stay") << QByteArray("caf\xe9\r\n\r\n\x80\x9f\xff")
                                                 << QByteArray("caf\xe9\r\n\x80\x9f\xff\r\n");
        QTest::newRow("UTF-8 bytes stay") << QByteArray("caf\xc3\xa9\r\n\r\n\xe2\x82\xac")
                                          << QByteArray("caf\xc3\xa9\r\n\xe2\x82\xac\r\n");
        QTest::newRow("NUL bytes stay") << QByteArray("a\0b\r\n", 5) << QByteArray("a\0b\r\n", 5);
    }
    void tidyKeepsNonEmptyLinesWithCrLf()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, tidied);
        QCOMPARE(ThemeTidy::tidy(content), tidied);
        QCOMPARE(ThemeTidy::tidy(tidied), tidied);
    }

    void tidyAgreesWithALineByLineCopy()
    {
        QRandomGenerator random(20260103);
        const QByteArray alphabet("ab\r\n ,\"\xe9");
        for (int round = 0; round < 300; ++round) {
            QByteArray content;
            const int length = random.bounded(40);
            for (int i = 0; i < length; ++i)
                content += alphabet.at(random.bounded(alphabet.size()));
            QCOMPARE(ThemeTidy::tidy(content), tidyLineByLine(content));
        }
    }

    void fieldsAreReadAsInputDidThem_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArrayList>("fields");
        QTest::newRow("nothing") << QByteArray() << QByteArrayList{};
        QTest::newRow("one link") << QByteArray("http://a/\r\n") << QByteArrayList{"http://a/"};
        QTest::newRow("one per line") << QByteArray("a\r\nb\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("last line without line end")
            << QByteArray("a\r\nb") << QByteArrayList{"a", "b"};
        QTest::newRow("lone CR ends a field") << QByteArray("a\rb\r") << QByteArrayList{"a", "b"};
        QTest::newRow("comma splits a line") << QByteArray("a,b\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("comma inside quotes")
            << QByteArray("\"a,b\"\r\nc\r\n") << QByteArrayList{"a,b", "c"};
        QTest::newRow("leading blanks and tabs skipped")
            << QByteArray("   a\r\n\t b\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("trailing blanks dropped")
            << QByteArray("a  \t\r\nb  , c \r\n") << QByteArrayList{"a", "b", "c"};
        QTest::newRow("inner blanks kept") << QByteArray(" a b \r\n") << QByteArrayList{"a b"};
        QTest::newRow("blanks inside quotes kept")
            << QByteArray("  \" a \"\r\n") << QByteArrayList{" a "};
        QTest::newRow("text after closing quote skipped")
            << QByteArray("\"a\"xyz,b\r\n\"c\" d \r\ne\r\n") << QByteArrayList{"a", "b", "c", "e"};
        QTest::newRow("quote inside an unquoted field")
            << QByteArray("a\"b,c\r\n") << QByteArrayList{"a\"b", "c"};
        QTest::newRow("empty quotes") << QByteArray("\"\"\r\n") << QByteArrayList{""};
        QTest::newRow("two commas") << QByteArray("a,,b\r\n") << QByteArrayList{"a", "", "b"};
        QTest::newRow("comma at the end of a line")
            << QByteArray("a,\r\nb\r\n") << QByteArrayList{"a", "", "b"};
        QTest::newRow("comma at the end of the last line")
            << QByteArray("a,\r\n") << QByteArrayList{"a", ""};
        QTest::newRow("comma as the very last byte") << QByteArray("a,") << QByteArrayList{"a", ""};
        QTest::newRow("line of blanks")
            << QByteArray("a\r\n   \r\nb\r\n") << QByteArrayList{"a", "", "b"};
        QTest::newRow("empty line") << QByteArray("a\r\n\r\nb") << QByteArrayList{"a", "b"};
        QTest::newRow("empty LF line") << QByteArray("a\n\nb\n\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("empty LF lines at the end")
            << QByteArray("a\nb\n\n\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("empty lines at the start")
            << QByteArray("\n\r\n\ra\r\n") << QByteArrayList{"a"};
        QTest::newRow("LF line of blanks")
            << QByteArray("a\n  \nb\n\r\n") << QByteArrayList{"a", "", "b"};
        QTest::newRow("blanks at the very end") << QByteArray("a\r\n  ") << QByteArrayList{"a", ""};
        QTest::newRow("lone LF ends a field")
            << QByteArray("a\nb \n c\r\n") << QByteArrayList{"a", "b", "c"};
        // A file written with LF line ends gets a CR LF after its last LF from the tidying:
        // the two are one line end, not an empty link.
        QTest::newRow("LF lines before the final CR LF")
            << QByteArray("a\nb\n\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("LF at the very end") << QByteArray("a\nb\n") << QByteArrayList{"a", "b"};
        QTest::newRow("quotes run across line ends")
            << QByteArray("\"a\r\nb\"\r\nc\r\n") << QByteArrayList{"a\r\nb", "c"};
        QTest::newRow("unclosed quote ends with its line")
            << QByteArray("x\r\n\"a,b\r\nc\r\n") << QByteArrayList{"x", "a,b", "c"};
        QTest::newRow("bytes of any encoding kept")
            << QByteArray("caf\xe9,\xc3\xa9\r\n") << QByteArrayList{"caf\xe9", "\xc3\xa9"};
    }
    void fieldsAreReadAsInputDidThem()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArrayList, fields);
        QCOMPARE(readAllFields(data), fields);
    }

    void linksDecodeWithTheirLinesEncoding_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("links");
        const QString cafe = QStringLiteral("caf\u00e9");
        QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9\r\n") << QStringList{cafe};
        QTest::newRow("Windows-1252")
            << QByteArray("caf\xe9\r\n\x80\r\n") << QStringList{cafe, QStringLiteral("\u20ac")};
        QTest::newRow("each line its own")
            << QByteArray("caf\xc3\xa9\r\ncaf\xe9\r\n") << QStringList{cafe, cafe};
        // The first field alone would be valid UTF-8; its line is not.
        QTest::newRow("fields of one line share its encoding")
            << QByteArray("\xc3\xa9,\xfc\r\n")
            << QStringList{QStringLiteral("\u00c3\u00a9"), QStringLiteral("\u00fc")};
        // A lone LF ends a line for its encoding as CR LF does.
        QTest::newRow("lines ended by LF each their own")
            << QByteArray("caf\xc3\xa9\ncaf\xe9\n\r\n") << QStringList{cafe, cafe};
        QTest::newRow("quoted field running into a Windows-1252 line")
            << QByteArray("\"caf\xc3\xa9\r\ncaf\xe9\"\r\n")
            << QStringList{QStringLiteral("caf\u00c3\u00a9\r\ncaf\u00e9")};
    }
    void linksDecodeWithTheirLinesEncoding()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, links);
        const ThemeLinks::Result result = ThemeLinks::read(data, 500);
        QCOMPARE(result.links, links);
        QVERIFY(!result.overflow);
    }

    void linksStopAtTheLimit_data()
    {
        QTest::addColumn<int>("fields");
        QTest::addColumn<int>("kept");
        QTest::addColumn<bool>("overflow");
        QTest::newRow("0") << 0 << 0 << false;
        QTest::newRow("1") << 1 << 1 << false;
        QTest::newRow("500") << 500 << 500 << false;
        QTest::newRow("501") << 501 << 500 << true;
        QTest::newRow("2000") << 2000 << 500 << true;
    }
    void linksStopAtTheLimit()
    {
        QFETCH(int, fields);
        QFETCH(int, kept);
        QFETCH(bool, overflow);
        QByteArray data;
        for (int i = 1; i <= fields; ++i)
            data += QByteArray::number(i) + (i % 2 && i != fields ? "," : "\r\n");
        const ThemeLinks::Result result = ThemeLinks::read(ThemeTidy::tidy(data), 500);
        QCOMPARE(result.links.size(), kept);
        QCOMPARE(result.overflow, overflow);
        if (kept > 0)
            QCOMPARE(result.links.constLast(), QString::number(kept));
    }
};

// The theme file format alone, on the core library: no window, no shared state.
QTEST_GUILESS_MAIN(TestThemeFormat)
#include "TestThemeFormat.moc"
