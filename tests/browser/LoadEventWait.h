#pragma once

#include <QString>

#include <functional>

class AheadBrowser;
class PageLoads;
class WindowBrowser;

// The load events of the page of a window or a hidden instance from a moment on, to wait for the
// next one: tests and benchmarks wait for pages, the toolbar never does. Made before the
// navigation whose page it waits for. The page's session may change meanwhile (a prerender shown
// in the window's place, the hidden target made): a new one counts from its start.
class LoadEventWait
{
public:
    explicit LoadEventWait(WindowBrowser& window);
    explicit LoadEventWait(AheadBrowser& hidden);

    // Runs the event loop until the page has fired a load event since this was made; false when
    // the time ran out first.
    bool wait(int timeoutMs) const;

private:
    LoadEventWait(PageLoads& loads, std::function<QString()> session);
    bool loaded() const;

    PageLoads& m_loads;
    std::function<QString()> m_session;
    QString m_startSession;
    int m_startEvents;
};

// Sends the window or the hidden instance to `url` and waits for the load event of its page.
bool loadFully(WindowBrowser& window, const QString& url, int timeoutMs = 10000);
bool loadFully(AheadBrowser& hidden, const QString& url, int timeoutMs = 10000);
