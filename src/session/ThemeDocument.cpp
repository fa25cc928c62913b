#include "session/ThemeDocument.h"

#include "log/StepTrace.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "platform/Int16.h"
#include "platform/Version.h"
#include "session/BrowserFailure.h"
#include "session/Handler.h"
#include "session/Module1.h"
#include "session/QuietMoment.h"
#include "session/Toolbar.h"
#include "session/WebThemeSource.h"
#include "themefile/LinkRecord.h"
#include "web/WebAddress.h"

#include <QScopedValueRollback>

#include <utility>

namespace {
const QString captionPrefix = QStringLiteral(QUILLON_VERSION_TEXT "    ");

QString captionOf(const QString& themeFile)
{
    return captionPrefix + WebAddress::shown(themeFile).toUpper();
}
} // namespace

// A list from the web is taken as soon as it has come, or once the user's dialogs and the
// dropped-down list have closed.
ThemeDocument::ThemeDocument(Module1& m)
    : m(m), m_themeFile(m.defaultThemeFile()), m_reader(m),
      m_web(std::make_unique<WebThemeSource>(m)), m_arrival(new QuietMoment(this)),
      m_change(new QuietMoment(this))
{
    connect(m_web.get(), &WebThemeSource::changeArrived, this, [this] {
        m_change->run([this] {
            const Module1::NobodyAsked nobody(this->m);
            runHandler(this->m, [this] { takeWebChange(); });
        });
    });
    connect(m_web.get(), &WebThemeSource::opened, this,
            [this](const QString& address, const std::optional<QByteArray>& bytes) {
                m_arrival->run([this, address, bytes] {
                    const Module1::NobodyAsked nobody(this->m);
                    runHandler(this->m, [&] { webOpened(address, bytes); });
                });
            });
}

ThemeDocument::~ThemeDocument() = default;

void ThemeDocument::LoadThemeFile(const QString& path)
{
    dropAwaited();
    run(path, std::nullopt);
}

void ThemeDocument::LoadNamedThemeFile(const QString& path)
{
    dropAwaited();
    run(path, std::nullopt, true);
}

// The load does not empty Combo1 in place: the caller does, and puts its text back after.
void ThemeDocument::ReloadInPlace(const QString& path)
{
    reloadInPlace(path, std::nullopt);
}

void ThemeDocument::reloadInPlace(const QString& path, std::optional<QByteArray> content)
{
    const QString shownText = m.toolbar->shownText();
    emit listCleared();
    m_listEmptied = true;
    run(path, m_linkIndex, false, std::move(content));
    m.toolbar->setShownText(shownText);
}

void ThemeDocument::AppendLink(const QString& link)
{
    const QByteArray content =
        FileStore::exists(m_themeFile) ? FileStore::read(m_themeFile) : QByteArray();
    FileStore::append(m_themeFile, LinkRecord::bytes(link, content));
    ReloadInPlace(m_themeFile);
}

// Another theme file opened meanwhile stays the current list as it is.
void ThemeDocument::Rewrite(const QString& path, const QByteArray& bytes)
{
    FileStore::save(path, bytes);
    if (path == m_themeFile)
        ReloadInPlace(path);
}

void ThemeDocument::Create(const QString& path, const QString& link)
{
    // Exclusive: a name that turned up since the caller looked is never emptied.
    FileStore::append(path, LinkRecord::bytes(link, {}), FileStore::Create::New);
    LoadThemeFile(path);
}

// The hand-over lives for one load: set here, and spent whatever way the load ends.
void ThemeDocument::run(const QString& path, std::optional<qint16> savedIndex,
                        bool anyOpenFailureIsMissing, std::optional<QByteArray> content)
{
    if (WebAddress::is(path) && !content) {
        openWeb(path, savedIndex);
        return;
    }
    const QScopedValueRollback loading(m_loading, true);
    if (path != m_themeFile)
        m_reader.forgetUnreadable();
    m_themeFile = path;
    SavedIndex = savedIndex.value_or(0);
    RestoreFlag = savedIndex ? 1 : 0;
    std::optional<int> failed;
    try {
        load(anyOpenFailureIsMissing, std::move(content));
    } catch (const Failure& failure) {
        failed = failure.number();
    }
    SavedIndex = 0;
    RestoreFlag = 0;
    if (failed)
        handle(*failed);
}

void ThemeDocument::load(bool anyOpenFailureIsMissing, std::optional<QByteArray> content)
{
    if (!content)
        content = m_reader.read(m_themeFile, anyOpenFailureIsMissing);
    if (!content) {
        keepPreviousList();
        return;
    }
    takeOver(m_reader.links(m_themeFile, std::move(*content)));
    fillCombo();
    m.WriteLogLine(QLatin1Char(' ') + WebAddress::shown(m_themeFile) +
                   QStringLiteral(" opens normally"));
    m_everLoaded = true;
    if (RestoreFlag == 0)
        ShowCurrentLink();
    RestoreFlag = 0;
    emit captionChanged(captionOf(m_themeFile));
}

void ThemeDocument::takeOver(const QStringList& links)
{
    const auto count = qint16(links.size());
    for (qint16 i = 1; i <= count; ++i)
        m_links.set(i, links.at(i - 1));
    m_links.clearAbove(count);
    m_linkCount = count;
    // A restored position that the shorter list no longer has becomes its last link.
    const qint16 wanted = SavedIndex != 0 ? SavedIndex : qint16(1);
    m_linkIndex = qBound(qint16(1), wanted, qMax(count, qint16(1)));
    SavedIndex = 0;
}

void ThemeDocument::fillCombo()
{
    if (RestoreFlag == 0)
        emit listCleared();
    m_listEmptied = false;
    emit linksAppended(m_links.first(m_linkCount));
}

void ThemeDocument::handle(int number)
{
    if (number == FailureNumber::PathNotFound)
        m.WriteLogLine(QStringLiteral(" User cancels new theme file selection"));
    else
        m_reader.reportUnknown(number);
    keepPreviousList();
}

// A load that ends early leaves the list as it was; a caller that emptied Combo1 for a
// reload gets its entries back, and the text that Combo1 shows stays.
void ThemeDocument::keepPreviousList()
{
    m_linkIndex = qBound(qint16(1), m_linkIndex, qMax(m_linkCount, qint16(1)));
    if (std::exchange(m_listEmptied, false))
        emit linksAppended(m_links.first(m_linkCount));
}

// The link that "Right" shows next: the following one, or link 1 after the last.
qint16 ThemeDocument::nextIndex() const
{
    return m_linkIndex < m_linkCount ? add16(m_linkIndex, 1) : qint16(1);
}

void ThemeDocument::ShowCurrentLink(bool back)
{
    try {
        m.toolbar->setShownText(m_links.at(m_linkIndex));
        if (back)
            m.MainBrowser->NavigateBack(m_links.at(m_linkIndex));
        else if (m_unattended)
            m.MainBrowser->NavigateUnattended(m_links.at(m_linkIndex));
        else
            m.MainBrowser->Navigate(m_links.at(m_linkIndex));
        // An empty list has nothing to fetch ahead.
        if (m_linkCount > 0)
            m.PrefetchBrowser->Navigate(m_links.at(nextIndex()));
    } catch (const Failure&) {
        BrowserFailure(m);
    }
}

// The cursor stays on 1..LinkCount, and on 1 when the list is empty.
void ThemeDocument::MoveLeft()
{
    StepTrace::mark("handler");
    takeWebChange();
    m_linkIndex = add16(m_linkIndex, -1);
    if (m_linkIndex < 1)
        m_linkIndex = qMax(m_linkCount, qint16(1));
    ShowCurrentLink(true);
}

void ThemeDocument::MoveRight()
{
    StepTrace::mark("handler");
    takeWebChange();
    m_linkIndex = add16(m_linkIndex, 1);
    if (m_linkIndex > m_linkCount)
        m_linkIndex = 1;
    ShowCurrentLink();
    if (m_linkIndex == 1)
        refreshWeb();
}

void ThemeDocument::TimedStep()
{
    if (m_loading)
        return;
    const Module1::NobodyAsked nobody(m);
    const QScopedValueRollback unattended(m_unattended, true);
    if (isWeb()) {
        MoveRight();
        refreshWeb();
        return;
    }
    if (std::optional<QByteArray> content = m_reader.outsideChange(m_themeFile))
        reloadInPlace(m_themeFile, std::move(content));
    MoveRight();
}

bool ThemeDocument::isWeb() const
{
    return WebAddress::is(m_themeFile);
}

void ThemeDocument::takeWebChange()
{
    if (!isWeb())
        return;
    if (std::optional<QByteArray> content = m_web->takeChange(m_themeFile))
        reloadInPlace(m_themeFile, std::move(content));
}

void ThemeDocument::refreshWeb()
{
    if (isWeb())
        m_web->refresh(m_themeFile);
}

void ThemeDocument::ShowAgain()
{
    const QScopedValueRollback unattended(m_unattended, true);
    ShowCurrentLink();
}

void ThemeDocument::SelectFromList()
{
    dropAwaited();
    try {
        m.WriteLogLine(QStringLiteral(" User selects from listbox"));
        m.MainBrowser->Navigate(m.toolbar->shownText());
    } catch (const Failure&) {
        BrowserFailure(m);
    }
}

// The list on show stays, and works, while the address is read: the copy kept from its last
// reading when there is one, else the list that was open (at start-up, the default one).
void ThemeDocument::openWeb(const QString& address, std::optional<qint16> savedIndex)
{
    m_awaited = address;
    m_arrival->cancel();
    m_web->open(address);
    m_copyShown = m_web->keptCopy(address);
    if (m_copyShown)
        run(address, savedIndex, false, m_copyShown);
    else if (!m_everLoaded)
        run(m.defaultThemeFile(), std::nullopt);
    else
        keepPreviousList();
    emit captionChanged(captionOf(address) + QStringLiteral(" - READING"));
}

// An address that gives no list, and of which no copy is kept, is met as a missing file.
void ThemeDocument::webOpened(const QString& address, const std::optional<QByteArray>& bytes)
{
    if (address != m_awaited)
        return;
    m_awaited.clear();
    const std::optional<QByteArray> copy = std::exchange(m_copyShown, std::nullopt);
    if (copy && m_themeFile == address) {
        if (bytes && bytes != copy)
            reloadInPlace(address, bytes);
        else
            emit captionChanged(captionOf(address));
    } else if (bytes) {
        run(address, std::nullopt, false, bytes);
    } else {
        const bool defaultOnShow = m_themeFile == m.defaultThemeFile();
        m_reader.fallBackToDefault(address, FailureNumber::FileNotFound);
        m_themeFile = m.defaultThemeFile();
        if (defaultOnShow)
            emit captionChanged(captionOf(m_themeFile));
        else
            run(m_themeFile, std::nullopt);
    }
}

void ThemeDocument::dropAwaited()
{
    if (m_awaited.isEmpty())
        return;
    m.WriteLogLine(QLatin1Char(' ') + WebAddress::shown(m_awaited) +
                   QStringLiteral(" is no longer awaited: a later request stands over it"));
    m_awaited.clear();
    m_copyShown.reset();
    m_arrival->cancel();
    m_web->forget();
    emit captionChanged(captionOf(m_themeFile));
}
