#include "capture/EditedText.h"

#include "platform/LineSplitter.h"

#include "links/format/LineCodec.h"

EditedText::EditedText(const QByteArray& content)
    : m_lines(splitLines(content)), m_windows1252(LineCodec::isWindows1252File(content))
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        m_shown << shownText(m_lines.at(i));
        if (m_shown.constLast().contains(QLatin1Char('\n')))
            m_linesOfSeveralRows << i;
        else
            m_linesOfText[m_shown.constLast()] << i;
    }
}

// The text box breaks a line at a lone LF and at the separators that it takes for line
// breaks; the line then shows as several rows and is matched as a whole.
QString EditedText::shownText(const QByteArray& line)
{
    QString text = LineCodec::decode(line);
    for (const char16_t separator : {u'\u2028', u'\u2029', u'\ufdd0', u'\ufdd1'})
        text.replace(QChar(separator), QLatin1Char('\n'));
    return text;
}

QList<QByteArray> EditedText::splitLines(const QByteArray& content)
{
    QList<QByteArray> lines;
    for (qsizetype start = 0; start < content.size();) {
        const TextLine line = LineSplitter::lineAt(content, start);
        lines << content.mid(line.start, line.end - line.start);
        start = line.next;
    }
    return lines;
}

QString EditedText::boxText() const
{
    QString text;
    for (const QString& line : m_shown)
        text += line + QLatin1Char('\n');
    return text;
}

QByteArray EditedText::fileBytes(const QString& boxText) const
{
    const QStringList rows = boxText.split(QLatin1Char('\n'));
    QList<QByteArray> lines;
    Taken taken;
    for (qsizetype row = 0; row < rows.size();)
        lines << lineFor(rows, row, taken);
    return lines.join("\r\n") + "\r\n";
}

// The bytes for the text at `row`, which moves past the rows used. An original line that
// holds a lone LF shows as several rows and is matched as a whole.
QByteArray EditedText::lineFor(const QStringList& rows, qsizetype& row, Taken& taken) const
{
    qsizetype rowCount = 1;
    if (const QByteArray* original = originalSpanning(rows, row, rowCount, taken)) {
        row += rowCount;
        return *original;
    }
    const QString& text = rows.at(row++);
    return LineCodec::encode(text, m_windows1252);
}

// The original line whose text equals the rows from `row` on; the longest wins.
const QByteArray* EditedText::originalSpanning(const QStringList& rows, qsizetype row,
                                               qsizetype& rowCount, Taken& taken) const
{
    const QByteArray* longest = nullptr;
    for (const qsizetype i : m_linesOfSeveralRows) {
        const qsizetype span = m_shown.at(i).count(QLatin1Char('\n')) + 1;
        if (span > rowCount && row + span <= rows.size() &&
            rows.mid(row, span).join(QLatin1Char('\n')) == m_shown.at(i)) {
            longest = &m_lines.at(i);
            rowCount = span;
        }
    }
    if (longest)
        return longest;
    // Lines of the same text are matched in file order; a copy made by the user takes the
    // bytes of the last of them.
    const auto single = m_linesOfText.constFind(rows.at(row));
    if (single == m_linesOfText.cend())
        return nullptr;
    const qsizetype use = qMin(taken[rows.at(row)]++, single->size() - 1);
    return &m_lines.at(single->at(use));
}
