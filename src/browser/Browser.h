#pragma once

#include <QRectF>
#include <QString>

#include <functional>
#include <memory>

// The keys that step the toolbar from the page, as its Left and Right buttons do.
enum class StepKey { Left, Right };

// One browser instance as the toolbar drives it: the visible window or the hidden one that
// loads the next link ahead of the user. Every operation throws Failure (462 when the
// instance is gone) instead of returning an error, so the caller's failure path decides.
class Browser
{
public:
    virtual ~Browser() = default;

    virtual void setVisible(bool visible) = 0;
    // Screen pixels. Fractional values are accepted and rounded by the instance.
    virtual void setTop(double pixels) = 0;
    virtual void setLeft(double pixels) = 0;
    virtual void setWidth(double pixels) = 0;
    virtual void setHeight(double pixels) = 0;

    // Starts loading and returns at once; never waits for the page, neither the one it loads nor
    // the one it leaves. A local path becomes a file: URL and an empty string shows a blank page.
    // Only web pages, files, data: and about: addresses are shown: a javascript: URL is never
    // run, no other program is handed a link, and every other link shows a blank page too.
    virtual void Navigate(const QString& url) = 0;
    // As Navigate(), for a step back to the link shown before: when the page just before the one
    // on show in this instance's history is that link, it comes back as the browser's own Back
    // brings it (whole from its back-forward cache when the browser kept it there).
    virtual void NavigateBack(const QString& url) { Navigate(url); }
    // As Navigate(), for a step that nobody asked for: a link that answers with a download saves
    // nothing; the page on show stays, as when a page fails to load.
    virtual void NavigateUnattended(const QString& url) { Navigate(url); }
    // The address of the page now shown, after redirects.
    virtual QString LocationURL() = 0;
    virtual void Quit() = 0;

    // Calls `pressed` for every step key that the user presses in the page on show. Only the
    // visible instance shows pages to a user; the others take no keys.
    // By value, so that an implementation moves it into its own keeping; this default, for
    // browsers without a user, has nothing to keep.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual void watchStepKeys(std::function<void(StepKey)> /*pressed*/) {}
    // The process group of the program that shows this instance's window, whose windows the
    // step keys may be taken from; 0 when there is none.
    virtual qint64 windowProcessGroup() const { return 0; }
    // Calls `active` while the user works in the page on show: trusted keys, clicks, the wheel,
    // touches and pointer moves, never events that a page's script makes. Reports come at most
    // about once a second, the last one after the input has stopped. Visible instance only.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual void watchUserInput(std::function<void()> /*active*/) {}
    // Calls `loaded` whenever the page on show has finished loading: its load event, or the end
    // of a load that failed. A page that finished before the call is reported too, at once, so
    // that a late watcher never waits for a load that is over. Visible instance only.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual void watchPageLoads(std::function<void()> /*loaded*/) {}
    // Calls `passedOver` with the link of every NavigateUnattended() that left the page before on
    // show, and why in a few words: "a download" given up, or "a link that did not load (...)".
    // Visible instance only.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual void
    watchPassedOver(std::function<void(const QString& link, const QString& why)> /*passedOver*/)
    {}
    // Calls `gone` once when the browser ends while nobody drives it (a crash, a kill, a broken
    // pipe), maybe in the middle of another call to it. Visible instance only.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual void watchEnd(std::function<void()> /*gone*/) {}
    // In a few words, why the browser no longer answers: how its process ended, its pipe, or
    // its silence. Asked once an operation has failed.
    virtual QString whyGone() { return QStringLiteral("it does not answer"); }
};

// Creates a new, separate instance on every call (429 when the browser cannot be started).
// The first instance is the visible window, the second the hidden prefetch instance.
class BrowserFactory
{
public:
    virtual ~BrowserFactory() = default;
    virtual std::unique_ptr<Browser> create() = 0;
    // The link that the first instance's first Navigate() will be given, when it is known before
    // that instance is made: its window may then be made on it, so that the page loads while the
    // caller sets the rest up. Navigate() is still called, and a link that differs is shown.
    virtual void expectFirstLink(const QString& /*link*/) {}
    // Where the first instance's window will be placed (its left, top, width and height in screen
    // pixels), when that is known before it is made: it is then made there, rather than shown
    // elsewhere first. The edges are still set afterwards.
    virtual void expectWindowPlacement(const QRectF& /*pixels*/) {}
    // The instances made so far are gone or given up: the browser behind them ends now, with
    // whatever it left (its processes, its lock on the profile, a temporary profile), before
    // the next create() starts another.
    virtual void dropBrowser() {}
};
