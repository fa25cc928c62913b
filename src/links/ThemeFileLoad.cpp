#include "links/ThemeFileLoad.h"

#include "links/LinkCursor.h"
#include "links/format/ThemeLinks.h"
#include "links/format/ThemeTidy.h"
#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "platform/TextFile.h"
#include "platform/Version.h"
#include "session/Module1.h"
#include "session/Toolbar.h"

namespace {
// The hand-over from the caller is spent by every load, complete or not.
class HandOverReset
{
public:
    explicit HandOverReset(Module1& m) : m(m) {}
    ~HandOverReset()
    {
        m.RestoreFlag = 0;
        m.SavedIndex = 0;
    }
    HandOverReset(const HandOverReset&) = delete;
    HandOverReset& operator=(const HandOverReset&) = delete;

private:
    Module1& m;
};

const QString captionPrefix = QStringLiteral(QUILLON_VERSION_TEXT "    ");
} // namespace

ThemeFileLoad::ThemeFileLoad(Module1& m, std::optional<qint16> savedIndex,
                             bool anyOpenFailureIsMissing)
    : m(m), m_savedIndex(savedIndex), m_anyOpenFailureIsMissing(anyOpenFailureIsMissing)
{}

// The hand-over fields keep their classic names and meaning for the length of the load; they
// are set here and nowhere else.
void ThemeFileLoad::run()
{
    m.SavedIndex = m_savedIndex.value_or(0);
    m.RestoreFlag = m_savedIndex ? 1 : 0;
    const HandOverReset reset(m);
    try {
        load();
    } catch (const Failure& failure) {
        handle(failure.number());
    }
}

void ThemeFileLoad::load()
{
    std::optional<QByteArray> content = readThemeFile();
    if (!content) {
        keepPreviousList();
        return;
    }
    const QByteArray tidied = ThemeTidy::tidy(*content);
    writeTidied(tidied, *content);
    // A huge file is held once while its links are read.
    content.reset();
    takeOver(readLinks(tidied));
    fillCombo();
    m.WriteLogLine(QLatin1Char(' ') + m.ThemeFile + QStringLiteral(" opens normally"));
    if (m.RestoreFlag == 0)
        ShowCurrentLink(m);
    m.RestoreFlag = 0;
    m.toolbar->setCaption(captionPrefix + m.ThemeFile.toUpper());
}

namespace {
bool isMissingName(int number)
{
    return number == FailureNumber::BadFileName || number == FailureNumber::FileNotFound;
}
} // namespace

std::optional<QByteArray> ThemeFileLoad::readThemeFile()
{
    Outcome<QByteArray> read = TextFile::read(m.ThemeFile);
    while (!read.ok() && (isMissingName(read.failure()) ||
                          (m_anyOpenFailureIsMissing && m.ThemeFile != m.defaultThemeFile()))) {
        if (!fallBackToDefault(read.failure()))
            return std::nullopt;
        read = TextFile::read(m.ThemeFile);
    }
    if (!read.ok())
        throw Failure(read.failure());
    return std::move(read.value());
}

// A missing or unnamed theme file gives way to the default one. When the default theme file
// itself cannot be opened there is nothing left to fall back to: after its box the load ends
// instead of asking again, and the list on show stays.
bool ThemeFileLoad::fallBackToDefault(int number)
{
    const bool defaultFailed = m.ThemeFile == m.defaultThemeFile();
    m.platform.dialogs.messageBox(
        QStringLiteral("Theme File Error - WILL KEEP CURRENT THEME FILE."),
        QStringLiteral("File Error"), BoxIcon::CriticalStop);
    m.ThemeFile = m.defaultThemeFile();
    if (number == FailureNumber::BadFileName)
        m.WriteLogLine(QStringLiteral(" User closes file dialoge with no file"));
    return !defaultFailed;
}

// The tidied bytes replace the file in one step, and only when they differ. A file that
// cannot be rewritten (read-only, full disk) keeps its old bytes, which hold the same links:
// the load goes on and the next one tries again.
void ThemeFileLoad::writeTidied(const QByteArray& tidied, const QByteArray& content)
{
    if (tidied == content)
        return;
    try {
        FileStore::replace(m.ThemeFile, tidied);
    } catch (const Failure&) {
    }
}

// More than the list can hold is reported as it always was, and the load goes on with the
// links that fit.
QStringList ThemeFileLoad::readLinks(const QByteArray& tidied)
{
    const ThemeLinks::Result result = ThemeLinks::read(tidied, LinkSlots::Last);
    if (result.overflow)
        reportUnknown(FailureNumber::SubscriptOutOfRange);
    return result.links;
}

void ThemeFileLoad::takeOver(const QStringList& links)
{
    const auto count = qint16(links.size());
    for (qint16 i = 1; i <= count; ++i)
        m.Links.set(i, links.at(i - 1));
    m.Links.clearAbove(count);
    m.LinkCount = count;
    // A restored position that the shorter list no longer has becomes its last link.
    const qint16 wanted = m.SavedIndex != 0 ? m.SavedIndex : qint16(1);
    m.LinkIndex = qBound(qint16(1), wanted, qMax(count, qint16(1)));
    m.SavedIndex = 0;
}

void ThemeFileLoad::fillCombo()
{
    if (m.RestoreFlag == 0)
        m.toolbar->clearList();
    addLinksToCombo();
}

void ThemeFileLoad::addLinksToCombo()
{
    const qint16 count = m.LinkCount;
    for (qint16 i = 1; i <= count; ++i)
        m.toolbar->addToList(m.Links.at(i));
}

void ThemeFileLoad::reportUnknown(int number)
{
    m.log.WriteRecord(QStringLiteral("The following error was recoded: ") + formatNumber(number) +
                      QLatin1Char(' '));
    m.platform.dialogs.messageBox(QStringLiteral("Uknown Error ") + formatNumber(number),
                                  QStringLiteral("Most Mysterious Occurrence"),
                                  BoxIcon::CriticalStop);
}

void ThemeFileLoad::handle(int number)
{
    if (number == FailureNumber::PathNotFound)
        m.WriteLogLine(QStringLiteral(" User cancels new theme file selection"));
    else
        reportUnknown(number);
    keepPreviousList();
}

// A load that ends early leaves the list as it was; a caller that emptied Combo1 for a
// reload gets its entries back, and the text that Combo1 shows stays.
void ThemeFileLoad::keepPreviousList()
{
    m.LinkIndex = qBound(qint16(1), m.LinkIndex, qMax(m.LinkCount, qint16(1)));
    if (m.toolbar->listCount() == 0)
        addLinksToCombo();
}
