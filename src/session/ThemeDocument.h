#pragma once

#include "session/LinkSlots.h"
#include "session/ThemeFileReader.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class Module1;
class QuietMoment;
class WebThemeSource;

// The open theme file, as a document owns its file: its path, its links, their count, the
// cursor on the current link, the hand-over of a reload in place and every write of the
// program's own to the file. The commands change it through these operations only; a load
// reports its own failures and always leaves a usable list behind. The toolbar fills its list
// and caption from the signals.
class ThemeDocument : public QObject
{
    Q_OBJECT
public:
    explicit ThemeDocument(Module1& m);
    ~ThemeDocument() override;

    // The full path of the open theme file; the default theme file before the first load.
    const QString& ThemeFile() const { return m_themeFile; }
    qint16 LinkCount() const { return m_linkCount; }
    // The 1-based position of the current link, always 1 to LinkCount (1 on an empty list).
    qint16 LinkIndex() const { return m_linkIndex; }
    // Link `position`; failure 9 outside 0 to 500. Slots past the list are empty.
    const QString& Links(int position) const { return m_links.at(position); }

    // Makes `path` the open theme file: tidies it on disk, lists its links in Combo1 and shows
    // the first in both browsers. A missing or unnamed file gives way to the default one. A list
    // at a web address is read without waiting: the list on show (or the copy kept from the
    // address's last reading) stays until it has come. Either stands over an earlier list
    // still on its way.
    void LoadThemeFile(const QString& path);
    // The same for a file named from outside at start-up: when it cannot be opened for
    // whatever reason (a folder, access refused, a missing folder), the default theme file
    // takes its place after the load's box, so that the toolbar starts with a list.
    void LoadNamedThemeFile(const QString& path);
    // The link that a load of theme file `path` shows first, read without writing, logging or
    // asking anything (for a list on the web, from the copy kept or the default theme file that
    // shows while it is read); empty for a file that does not open. Only the file's start is
    // read: a first link cut short there is only a guess that the load corrects.
    QString firstLinkOf(const QString& path) const { return m_reader.firstLinkOf(path); }
    // Reads `path` again in place of the open list: the position, the browsers' pages and the
    // text that Combo1 shows stay.
    void ReloadInPlace(const QString& path);

    // The program's writes to theme files. Each leaves the file with its old bytes or all the
    // new ones, and a failure (its Failure) changes nothing else. What was written is then read
    // again, which stamps it as no change from outside: in place for the open theme file.

    // Appends `link` to the open theme file as a line of its own.
    void AppendLink(const QString& link);
    // Replaces the bytes of theme file `path`; another file than the open one is only written.
    void Rewrite(const QString& path, const QByteArray& bytes);
    // Creates theme file `path` holding `link` alone, never over an existing name (75), and
    // opens it.
    void Create(const QString& path, const QString& link);

    // The reader of a theme file at a web address.
    WebThemeSource& web() const { return *m_web; }

    // "Left" and "Right": one link back or on, wrapping round at both ends, and shown. A list
    // on the web is asked for again at the wrap to the first link.
    void MoveLeft();
    void MoveRight();
    // The timed step of an unattended screen: a change that another program made to the file
    // since the last load or write of the program's own is taken first, as a reload in place;
    // a file that is gone or cannot be read keeps the list in memory, and the log says so once
    // when it begins (a file past the bound gets its box instead while someone is there). Then
    // "Right". A list on the web is asked for again instead, and taken once its answer comes. A
    // link that answers with a download saves nothing and is passed over as a page that fails
    // to load.
    void TimedStep();
    // Shows the current link again as a timed step shows it, for a new browser pair.
    void ShowAgain();
    // A pick from Combo1's dropped-down list: shows the picked text and leaves the cursor.
    void SelectFromList();
    // The address of a list on the web whose first reading is awaited; empty when none.
    const QString& awaited() const { return m_awaited; }

signals:
    // What the toolbar shows of the document, each sent where a load reaches it: the list
    // emptied (with the text that its field shows), links appended to it, the caption.
    void listCleared();
    void linksAppended(const QStringList& links);
    void captionChanged(const QString& caption);

private:
    // `savedIndex`: a reload in place that restores this position; none for a normal load.
    // `anyOpenFailureIsMissing`: every failure to open the file is met as a missing file.
    // `content`: the file's bytes when the caller has read them already.
    void run(const QString& path, std::optional<qint16> savedIndex,
             bool anyOpenFailureIsMissing = false, std::optional<QByteArray> content = {});
    void reloadInPlace(const QString& path, std::optional<QByteArray> content);
    void load(bool anyOpenFailureIsMissing, std::optional<QByteArray> content);
    void takeOver(const QStringList& links);
    void fillCombo();
    void handle(int number);
    void keepPreviousList();
    // `back`: a step back to the link shown before, which the window may bring back from its
    // history.
    void ShowCurrentLink(bool back = false);
    qint16 nextIndex() const;
    bool isWeb() const;
    // The first reading of a list at a web address, and what its answer brings.
    void openWeb(const QString& address, std::optional<qint16> savedIndex);
    void webOpened(const QString& address, const std::optional<QByteArray>& bytes);
    // A later request stands over a list still on its way.
    void dropAwaited();
    // A list at a web address is asked for again at each round; a change that an earlier
    // round found is taken first, as a reload in place.
    void takeWebChange();
    void refreshWeb();

    Module1& m;
    QString m_themeFile;
    ThemeFileReader m_reader;
    LinkSlots m_links;
    qint16 m_linkCount = 0;
    qint16 m_linkIndex = 1;
    bool m_unattended = false; // while a timed step shows its link
    // The hand-over of a reload in place, set by each load for its own length.
    qint16 SavedIndex = 0;
    qint16 RestoreFlag = 0;
    // The toolbar's list emptied by a reload in place and not refilled yet.
    bool m_listEmptied = false;
    // A list was on show once: the default one need not stand in for a list on its way.
    bool m_everLoaded = false;
    std::unique_ptr<WebThemeSource> m_web;
    QString m_awaited;
    // The kept copy on show while its address is read.
    std::optional<QByteArray> m_copyShown;
    QuietMoment* m_arrival;
    QuietMoment* m_change;
    // While a load waits for a web server, the timed step does not run inside it.
    bool m_loading = false;
};
