#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// A theme file as the Edit dialog shows it, one line per text line, and the bytes that the
// edited text writes back. A line that the user left as it was is written with the bytes it
// was read with, whatever their encoding; a new or changed line is written in the file's
// encoding when it fits, else in UTF-8.
class EditedText
{
public:
    EditedText() = default;
    explicit EditedText(const QByteArray& content);

    // Every line followed by a line break ('\n'); empty for an empty file.
    QString boxText() const;
    // Every line break of the text as CR LF, and one more CR LF at the end.
    QByteArray fileBytes(const QString& boxText) const;

    // Lines end at CR LF, at a lone CR or at the end of the content; a lone LF stays in the
    // line. The same rule as every reader of theme files.
    static QList<QByteArray> splitLines(const QByteArray& content);

private:
    QByteArray lineFor(const QStringList& rows, qsizetype& row) const;
    const QByteArray* originalSpanning(const QStringList& rows, qsizetype row,
                                       qsizetype& rowCount) const;

    QList<QByteArray> m_lines;
    QStringList m_shown; // m_lines decoded, in the same order
    // The first original line of each shown text, and the lines that show as several rows.
    QHash<QString, qsizetype> m_lineOfText;
    QList<qsizetype> m_linesOfSeveralRows;
    bool m_windows1252 = false;
};
