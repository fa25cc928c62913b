#pragma once

#include <QString>
#include <QStringList>

class Clock;
class Dialogs;

// The usage and error log that users send to support. It is opened for every line and never
// held open; once it exists it only grows. Each entry is one line: a control character in a
// message (a path, a typed name, an address) is written as a visible escape, so that no text
// can end an entry early or forge one.
class ActivityLog
{
public:
    ActivityLog(QString path, Clock& clock, Dialogs& dialogs);

    const QString& path() const { return m_path; }

    // Creates the log with its header when it is missing; an existing log, even an empty
    // one, is left alone. Reports any other failure of its test in a box and goes on.
    void InitActivityLog();
    // `message` begins with a blank; the line is "mm/dd/yy hh:mm" followed by it.
    void WriteLogLine(const QString& message);
    // One entry per message, then "End of this session" and "+", in one opening.
    void WriteSessionEnd(const QStringList& messages);
    // A line without time stamp, such as the loader's error record.
    void WriteRecord(const QString& text);

    static QString supportAddress();

private:
    QByteArray entry(const QString& message) const;
    QByteArray header() const;

    QString m_path;
    Clock& m_clock;
    Dialogs& m_dialogs;
};
