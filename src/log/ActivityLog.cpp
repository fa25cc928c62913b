#include "log/ActivityLog.h"

#include "platform/Version.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "platform/TextFile.h"

namespace {
const QByteArray separator(74, '=');
}

ActivityLog::ActivityLog(QString path, Clock& clock, Dialogs& dialogs)
    : m_path(std::move(path)), m_clock(clock), m_dialogs(dialogs)
{}

QString ActivityLog::supportAddress()
{
    return QStringLiteral("support@quillon.example");
}

void ActivityLog::InitActivityLog()
{
    try {
        TextFile::probe(m_path);
        return;
    } catch (const Failure& failure) {
        if (failure.number() != FailureNumber::FileNotFound) {
            m_dialogs.messageBox(QStringLiteral("Error ") + formatNumber(failure.number()),
                                 QStringLiteral("Error"), BoxIcon::CriticalStop);
            return;
        }
    }
    try {
        FileStore::createExclusive(m_path, header());
    } catch (const Failure&) {
        // Another copy of the program made it in the meantime: its entries stay.
        if (!FileStore::exists(m_path))
            throw;
    }
}

QByteArray ActivityLog::header() const
{
    // Date and time are two readings of the clock, the date first.
    const QString date = Clock::format(m_clock.now(), QStringLiteral("m/d/yy"));
    const QString time = Clock::format(m_clock.now(), QStringLiteral("hh:mm"));
    const QList<QByteArray> lines{
        "Error log started " + (date + ' ' + time).toUtf8(),
        "The purpose of this file is to track usage and errors for later debugging.",
        "When reporting errors, please be sure to include a copy of this log.",
        "Email log and complete description of your problem to " + supportAddress().toUtf8() + ".",
        separator,
        QUILLON_VERSION_TEXT,
        separator,
        QByteArray(),
    };
    QByteArray bytes;
    for (const QByteArray& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

QByteArray ActivityLog::entry(const QString& message) const
{
    const QString date = Clock::format(m_clock.now(), QStringLiteral("mm/dd/yy"));
    const QString time = Clock::format(m_clock.now(), QStringLiteral("hh:mm"));
    return (date + ' ' + time + message).toUtf8() + "\r\n";
}

void ActivityLog::WriteLogLine(const QString& message)
{
    TextFile log(m_path, TextFile::Mode::Append);
    log.write(entry(message));
    log.close();
}

void ActivityLog::WriteSessionEnd(const QStringList& messages)
{
    TextFile log(m_path, TextFile::Mode::Append);
    for (const QString& message : messages)
        log.write(entry(message));
    log.write("End of this session\r\n+\r\n");
    log.close();
}

void ActivityLog::WriteRecord(const QString& text)
{
    TextFile log(m_path, TextFile::Mode::Append);
    log.writeLine(text.toUtf8());
    log.close();
}
