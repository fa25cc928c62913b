#include "capture/EditedText.h"

#include "platform/LineSplitter.h"

#include "themefile/LineCodec.h"

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
    Cursor cursor;
    while (cursor.row < rows.size())
        lines << lineFor(rows, cursor);
    return lines.join("\r\n") + "\r\n";
}

// The bytes for the text at the cursor's row, which moves past the rows used. The original
// line after the last one matched comes first, so that an unchanged text finds every line
// where it stood; else any original line of that text. An original line that holds a lone LF
// shows as several rows and is matched as a whole.
QByteArray EditedText::lineFor(const QStringList& rows, Cursor& cursor) const
{
    qsizetype line = cursor.next;
    if (shownAt(rows, cursor.row, line)) {
        if (!m_shown.at(line).contains(QLatin1Char('\n')))
            ++cursor.taken[m_shown.at(line)];
    } else {
        line = originalSpanning(rows, cursor.row, cursor);
    }
    if (line < 0)
        return LineCodec::encode(rows.at(cursor.row++), m_windows1252);
    cursor.row += m_shown.at(line).count(QLatin1Char('\n')) + 1;
    cursor.next = line + 1;
    return m_lines.at(line);
}

bool EditedText::shownAt(const QStringList& rows, qsizetype row, qsizetype line) const
{
    if (line >= m_lines.size())
        return false;
    const qsizetype span = m_shown.at(line).count(QLatin1Char('\n')) + 1;
    return row + span <= rows.size() &&
           rows.mid(row, span).join(QLatin1Char('\n')) == m_shown.at(line);
}

// The original line whose text equals the rows from `row` on; the longest wins. -1 for none.
qsizetype EditedText::originalSpanning(const QStringList& rows, qsizetype row, Cursor& cursor) const
{
    qsizetype longest = -1;
    qsizetype rowCount = 1;
    for (const qsizetype i : m_linesOfSeveralRows) {
        const qsizetype span = m_shown.at(i).count(QLatin1Char('\n')) + 1;
        if (span > rowCount && shownAt(rows, row, i)) {
            longest = i;
            rowCount = span;
        }
    }
    if (longest >= 0)
        return longest;
    // Lines of the same text are matched in file order; a copy made by the user takes the
    // bytes of the last of them.
    const auto single = m_linesOfText.constFind(rows.at(row));
    if (single == m_linesOfText.cend())
        return -1;
    const qsizetype use = qMin(cursor.taken[rows.at(row)]++, single->size() - 1);
    return single->at(use);
}
