#pragma once

#include <QObject>
#include <QString>

#include <functional>

class AheadBrowser;
class PageLoads;
class WindowBrowser;

// The next load event of the page of a window or a hidden instance, of a document that came
// after this was made: tests and benchmarks wait for pages, the toolbar never does. Made before
// the navigation whose page it waits for; the late load event of the document on show then (an
// error page, say) is not taken for it. The page's session may change meanwhile (a prerender
// shown in the window's place, the hidden target made).
class LoadEventWait
{
public:
    explicit LoadEventWait(WindowBrowser& window);
    explicit LoadEventWait(AheadBrowser& hidden);

    // Runs the event loop until that load event has come; false when the time ran out first.
    bool wait(int timeoutMs);

private:
    LoadEventWait(PageLoads& loads, std::function<QString()> session);

    PageLoads& m_loads;
    std::function<QString()> m_session;
    QString m_startSession;
    QString m_startLoader;
    bool m_loaded = false;
    QObject m_listening;
};

// Sends the window or the hidden instance to `url` and waits for the load event of its page.
bool loadFully(WindowBrowser& window, const QString& url, int timeoutMs = 10000);
bool loadFully(AheadBrowser& hidden, const QString& url, int timeoutMs = 10000);
