#pragma once

#include "browser/Browser.h"

#include <QMap>
#include <QSet>
#include <QStringList>

// A browser that writes every call, in order, into one list shared by all its instances:
// "Main.Navigate(http://a/)", "Prefetch.Visible=false" and so on. The first instance made is
// "Main", the second "Prefetch". Any call can be told to fail.
class RecordingBrowserFactory : public BrowserFactory
{
public:
    std::unique_ptr<Browser> create() override;
    void expectFirstLink(const QString& link) override
    {
        if (created == 0)
            firstLinkAtCreate = link;
    }
    // Recorded as "drop"; the next instance made is "Main" again.
    void dropBrowser() override;

    // The first call whose record starts with `prefix` (e.g. "create", "Main.Navigate")
    // throws Failure(number) after it has been recorded.
    void failOn(const QString& prefix, int number = 462) { failures.insert(prefix, number); }
    void failAfterRecording(const QString& call);

    // What the user's step key in the page of instance `name` does; nothing when that instance
    // has not been told to watch the keys. Watching is not recorded as a call.
    void pressStepKey(StepKey key, const QString& name = QStringLiteral("Main"));
    QMap<QString, std::function<void(StepKey)>> stepKeyWatchers;
    // The user's input in the page, and the end of a page's load, in instance `name`; as with
    // the keys, nothing unless watched, and watching is not recorded.
    void workInPage(const QString& name = QStringLiteral("Main"));
    void finishLoad(const QString& name = QStringLiteral("Main"));
    QMap<QString, std::function<void()>> inputWatchers;
    QMap<QString, std::function<void()>> loadWatchers;
    // The instances whose page has finished loading since their last Navigate: a watcher that
    // comes later hears of it at once, as with the real browser.
    QSet<QString> loadEnded;
    // The end of an unattended step onto `link` that answered with a download.
    void passOver(const QString& link, const QString& why,
                  const QString& name = QStringLiteral("Main"));
    QMap<QString, std::function<void(const QString&, const QString&)>> passedOverWatchers;
    // The browser of instance `name` ends on its own, as a killed one does.
    void endBrowser(const QString& name = QStringLiteral("Main"));
    QMap<QString, std::function<void()>> endWatchers;

    // The calls whose record starts with `prefix`.
    QStringList callsStartingWith(const QString& prefix) const;

    QStringList calls;
    QMap<QString, int> failures;
    // What LocationURL answers, per instance; the last Navigate when not set.
    QMap<QString, QString> location;
    int created = 0;
    QString firstLinkAtCreate; // told before the first instance was made
};
