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
    static QString shownText(const QByteArray& line);
    struct Cursor
    {
        qsizetype row = 0;
        qsizetype next = 0; // the original line after the last one matched
        // How many of the original lines of each text the rows have used so far.
        QHash<QString, qsizetype> taken;
    };
    QByteArray lineFor(const QStringList& rows, Cursor& cursor) const;
    bool shownAt(const QStringList& rows, qsizetype row, qsizetype line) const;
    qsizetype originalSpanning(const QStringList& rows, qsizetype row, Cursor& cursor) const;

    QList<QByteArray> m_lines;
    QStringList m_shown; // m_lines decoded, in the same order
    // The original lines of each shown text in file order (two encodings can show alike),
    // and the lines that show as several rows.
    QHash<QString, QList<qsizetype>> m_linesOfText;
    QList<qsizetype> m_linesOfSeveralRows;
    bool m_windows1252 = false;
};
