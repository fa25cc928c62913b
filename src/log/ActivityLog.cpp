#include "log/ActivityLog.h"

#include "platform/Version.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"

#include <algorithm>

namespace {
const QByteArray separator(74, '=');

bool isControl(QChar character)
{
    switch (character.category()) {
    case QChar::Other_Control: // C0, DEL and C1, U+0085 among them
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString escapeOf(QChar character)
{
    switch (character.unicode()) {
    case '\r':
        return QStringLiteral("\\r");
    case '\n':
        return QStringLiteral("\\n");
    case '\t':
        return QStringLiteral("\\t");
    default:
        break;
    }
    const bool small = character.unicode() <= 0xff;
    return (small ? QStringLiteral("\\x") : QStringLiteral("\\u")) +
           QStringLiteral("%1").arg(character.unicode(), small ? 2 : 4, 16, QLatin1Char('0'));
}

// The text with every control character, line and paragraph separator written as "\r", "\n",
// "\t", "\xHH" or "\uHHHH"; any other text, backslashes included, as it stands.
QString visible(const QString& text)
{
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString shown;
    for (const QChar character : text)
        shown += isControl(character) ? escapeOf(character) : QString(character);
    return shown;
}
} // namespace

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
        FileStore::read(m_path, 0);
        return;
    } catch (const Failure& failure) {
        if (failure.number() != FailureNumber::FileNotFound) {
            m_dialogs.messageBox(QStringLiteral("Error ") + formatNumber(failure.number()),
                                 QStringLiteral("Error"), BoxIcon::CriticalStop);
            return;
        }
    }
    try {
        FileStore::append(m_path, header(), FileStore::Create::New);
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
    return (date + ' ' + time + visible(message)).toUtf8() + "\r\n";
}

void ActivityLog::WriteLogLine(const QString& message)
{
    FileStore::append(m_path, entry(message));
}

void ActivityLog::WriteSessionEnd(const QStringList& messages)
{
    QByteArray lines;
    for (const QString& message : messages)
        lines += entry(message);
    FileStore::append(m_path, lines + "End of this session\r\n+\r\n");
}

void ActivityLog::WriteRecord(const QString& text)
{
    FileStore::append(m_path, visible(text).toUtf8() + "\r\n");
}
