#pragma once

#include <QByteArray>
#include <QString>

#include "platform/Outcome.h"

// A sequential 8-bit text file as the program has always used them: lines end with CR LF on
// writing; on reading a line ends at CR LF, at a lone CR or at the end of the file, while a
// lone LF stays part of the line. Every failure is a Failure with its number. The file is
// closed when the object goes, so no handler can leave one open.
class TextFile
{
public:
    enum class Mode { Read, Write, Append };

    TextFile(const QString& path, Mode mode);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool atEnd();
    QByteArray readLine();
    void writeLine(const QByteArray& text);
    void write(const QByteArray& bytes);
    void close();

    // Opens for reading and closes at once: proves that the file can be opened.
    static void probe(const QString& path);
    static void remove(const QString& path);
    static QByteArray readAll(const QString& path);
    // The same, with a failure as its number rather than thrown.
    static Outcome<QByteArray> read(const QString& path);
    // Whether the file opens for reading.
    static bool opens(const QString& path);

private:
    // Reading takes the whole file at the first read, so that opening only proves access.
    void load();

    QString m_path;
    int m_fd = -1;
    QByteArray m_content; // reading: the whole file, read at open
    qsizetype m_pos = 0;
    bool m_loaded = false;
};
