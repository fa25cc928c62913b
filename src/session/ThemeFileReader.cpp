#include "session/ThemeFileReader.h"

#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "session/LinkSlots.h"
#include "session/Module1.h"
#include "themefile/ThemeLinks.h"
#include "themefile/ThemeTidy.h"
#include "web/WebAddress.h"

#include <utility>

namespace {
bool isMissingName(int number)
{
    return number == FailureNumber::BadFileName || number == FailureNumber::FileNotFound;
}
} // namespace

ThemeFileReader::ThemeFileReader(Module1& m) : m(m) {}

std::optional<QByteArray> ThemeFileReader::read(QString& path, bool anyOpenFailureIsMissing)
{
    for (;;) {
        try {
            return FileStore::read(path);
        } catch (const Failure& failure) {
            if (!isMissingName(failure.number()) &&
                !(anyOpenFailureIsMissing && path != m.defaultThemeFile()))
                throw;
            const bool fellBack = fallBackToDefault(path, failure.number());
            path = m.defaultThemeFile();
            if (!fellBack)
                return std::nullopt;
        }
    }
}

// When the default theme file itself cannot be opened there is nothing left to fall back to:
// after its box the load ends instead of asking again, and the list on show stays.
bool ThemeFileReader::fallBackToDefault(const QString& failed, int number)
{
    const bool defaultFailed = failed == m.defaultThemeFile();
    m.messageBox(QStringLiteral("Theme File Error - WILL KEEP CURRENT THEME FILE."),
                 QStringLiteral("File Error"), BoxIcon::CriticalStop,
                 QLatin1Char(' ') + WebAddress::shown(failed) +
                     (defaultFailed ? QStringLiteral(" cannot be opened: the list on show stays")
                                    : QStringLiteral(" cannot be opened: the default theme "
                                                     "file takes its place")));
    if (number == FailureNumber::BadFileName)
        m.WriteLogLine(QStringLiteral(" User closes file dialoge with no file"));
    return !defaultFailed;
}

// The program's own rewrite is no change from outside. More links than the list can hold are
// reported as they always were, and the load goes on with the links that fit.
QStringList ThemeFileReader::links(const QString& path, QByteArray content)
{
    const QByteArray tidied = ThemeTidy::tidy(content);
    if (!WebAddress::is(path))
        m_stamp.take(path, writeTidied(path, tidied, content) ? tidied : content);
    // A huge file is held once while its links are read.
    content = QByteArray();
    const ThemeLinks::Result result = ThemeLinks::read(tidied, LinkSlots::Last);
    if (result.overflow)
        reportUnknown(FailureNumber::SubscriptOutOfRange);
    return result.links;
}

// The tidied bytes replace the file in one step, and only when they differ. A file that
// cannot be rewritten (read-only, full disk) keeps its old bytes, which hold the same links:
// the load goes on and the next one tries again. Whether the file holds the tidied bytes.
bool ThemeFileReader::writeTidied(const QString& path, const QByteArray& tidied,
                                  const QByteArray& content)
{
    if (tidied == content)
        return true;
    try {
        FileStore::save(path, tidied);
        return true;
    } catch (const Failure&) {
        return false;
    }
}

QString ThemeFileReader::firstLinkOf(const QString& path) const
{
    constexpr qsizetype firstLinkBytes = 64 * 1024;
    QString file = path;
    if (WebAddress::is(path)) {
        file = WebAddress::cacheFile(path);
        if (!FileStore::exists(file))
            file = m.defaultThemeFile();
    }
    try {
        return ThemeLinks::read(ThemeTidy::tidy(FileStore::read(file, firstLinkBytes)), 1)
            .links.value(0);
    } catch (const Failure&) {
        return {};
    }
}

std::optional<QByteArray> ThemeFileReader::outsideChange(const QString& path)
{
    try {
        std::optional<QByteArray> content = m_stamp.changedBytes(path);
        m_unreadable = false;
        return content;
    } catch (const Failure& failure) {
        cannotRead(path, failure);
        return std::nullopt;
    }
}

// The screen goes on with the list it has meanwhile.
void ThemeFileReader::cannotRead(const QString& path, const Failure& failure)
{
    if (std::exchange(m_unreadable, true))
        return;
    if (m.nobodyToAsk())
        m.WriteLogLine(QLatin1Char(' ') + path + QStringLiteral(" could not be read: ") +
                       failure.description());
    else if (failure.number() == FailureNumber::OutOfMemory)
        reportUnknown(failure.number());
}

void ThemeFileReader::reportUnknown(int number)
{
    m.log.WriteRecord(QStringLiteral("The following error was recoded: ") + formatNumber(number) +
                      QLatin1Char(' '));
    m.messageBox(QStringLiteral("Uknown Error ") + formatNumber(number),
                 QStringLiteral("Most Mysterious Occurrence"), BoxIcon::CriticalStop, {});
}
