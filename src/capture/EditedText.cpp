#include "capture/EditedText.h"

#include "links/format/LineCodec.h"

EditedText::EditedText(const QByteArray& content)
    : m_lines(splitLines(content)), m_windows1252(LineCodec::isWindows1252File(content))
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        m_shown << LineCodec::decode(m_lines.at(i));
        if (m_shown.constLast().contains(QLatin1Char('\n')))
            m_linesOfSeveralRows << i;
        else if (!m_lineOfText.contains(m_shown.constLast()))
            m_lineOfText.insert(m_shown.constLast(), i);
    }
}

QList<QByteArray> EditedText::splitLines(const QByteArray& content)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype cr = content.indexOf('\r', start);
        if (cr < 0) {
            lines << content.mid(start);
            break;
        }
        lines << content.mid(start, cr - start);
        start = cr + 1;
        if (start < content.size() && content.at(start) == '\n')
            ++start;
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
    for (qsizetype row = 0; row < rows.size();)
        lines << lineFor(rows, row);
    return lines.join("\r\n") + "\r\n";
}

// The bytes for the text at `row`, which moves past the rows used. An original line that
// holds a lone LF shows as several rows and is matched as a whole.
QByteArray EditedText::lineFor(const QStringList& rows, qsizetype& row) const
{
    qsizetype rowCount = 1;
    if (const QByteArray* original = originalSpanning(rows, row, rowCount)) {
        row += rowCount;
        return *original;
    }
    const QString& text = rows.at(row++);
    return LineCodec::encode(text, m_windows1252);
}

// The original line whose text equals the rows from `row` on; the longest wins.
const QByteArray* EditedText::originalSpanning(const QStringList& rows, qsizetype row,
                                               qsizetype& rowCount) const
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
    const auto single = m_lineOfText.constFind(rows.at(row));
    return single == m_lineOfText.cend() ? nullptr : &m_lines.at(*single);
}
