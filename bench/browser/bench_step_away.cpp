// A step away from a page that holds its renderer: the time from Navigate on the visible window to
// the next page's title in the window, side by side in one run, for a page on show that answers
// and one that never returns from its script, with the next link on the same site (the renderer
// that must let go) or another one. The last figure is one step as the window took it before it
// ended held renderers: a bare Page.navigate, given 15 s.
// Run by hand under an X display: xvfb-run -a ./bench_step_away
#include "LoadTiming.h"
#include "LocalHttpServer.h"
#include "browser/ahead/AheadBrowser.h"
#include "browser/chromium/ChromiumBrowserFactory.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/window/WindowBrowser.h"
#include "platform/Failure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {
constexpr int Rounds = 5;
constexpr int CeilingMs = 15000;

// A page's title: its path, without slashes.
QString titleOf(const QString& path)
{
    return path.mid(1).replace(QLatin1Char('/'), QLatin1Char('-'));
}

HttpResponse respond(const QString& path)
{
    HttpResponse response;
    if (path == QLatin1String("/spin"))
        response.body = "<title>spin</title><script>"
                        "onload = () => setTimeout(() => { for (;;) {} }, 50)</script>";
    else
        response.body = "<title>" + titleOf(path).toLatin1() + "</title><p>next";
    return response;
}

class Stepper
{
public:
    Stepper(WindowBrowser& window, LocalHttpServer& server) : m_window(window), m_server(server) {}

    // Milliseconds until the window shows `title`; -1 when it does not within the ceiling. The
    // browser is asked, not the page, and the event loop runs in between, as in the toolbar.
    double waitForTitle(const QString& title, const QElapsedTimer& clock)
    {
        while (clock.elapsed() < CeilingMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const QJsonObject info = m_window.connection().command(
                QStringLiteral("Target.getTargetInfo"),
                {{QStringLiteral("targetId"), m_window.page().targetId()}});
            m_title = info[QStringLiteral("targetInfo")][QStringLiteral("title")].toString();
            if (m_title == title)
                return double(clock.nsecsElapsed()) / 1e6;
        }
        return -1;
    }
    // Shows the page that is left: `spinning` starts its endless script once loaded.
    void leave(bool spinning)
    {
        const QString path = spinning ? QStringLiteral("/spin") : nextPath();
        QElapsedTimer clock;
        clock.start();
        m_window.Navigate(m_server.url(path));
        if (waitForTitle(titleOf(path), clock) < 0)
            throw Failure(FailureNumber::ObjectDisconnected,
                          QStringLiteral("no page to leave: ") + m_title);
        // Its script has started.
        pause(300);
    }
    double step(const QString& host, bool bare)
    {
        const QString path = nextPath();
        QString url = m_server.url(path);
        url.replace(QLatin1String("127.0.0.1"), host);
        QElapsedTimer clock;
        clock.start();
        if (bare)
            m_window.connection().post(QStringLiteral("Page.navigate"),
                                       {{QStringLiteral("url"), url}}, m_window.page().sessionId());
        else
            m_window.Navigate(url);
        return waitForTitle(titleOf(path), clock);
    }

private:
    static void pause(int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, ms);
    }
    QString nextPath() { return QStringLiteral("/page/%1").arg(++m_pages); }

    WindowBrowser& m_window;
    LocalHttpServer& m_server;
    int m_pages = 0;
    QString m_title;
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir profile;
    LocalHttpServer server(respond);
    ChromiumBrowserFactory factory(QString(), profile.path());
    try {
        auto window = factory.create();
        auto hidden = factory.create();
        auto& visible = static_cast<WindowBrowser&>(*window);
        Stepper stepper(visible, server);
        int ended = 0;
        QObject::connect(&visible.page(), &ShownPage::rendererGone, [&ended] { ++ended; });
        struct Kind
        {
            const char* name;
            bool spinning;
            const char* host;
            bool bare;
        };
        const Kind kinds[] = {
            {"page answers, same site, bare Page.navigate", false, "127.0.0.1", true},
            {"page answers, same site", false, "127.0.0.1", false},
            {"page answers, other site", false, "localhost", false},
            {"page spins, other site", true, "localhost", false},
            {"page spins, same site", true, "127.0.0.1", false},
        };
        QList<QList<double>> times(std::size(kinds));
        // The kinds take turns, so that all meet the same machine and browser state.
        for (int round = 0; round < Rounds; ++round) {
            for (std::size_t k = 0; k < std::size(kinds); ++k) {
                stepper.leave(kinds[k].spinning);
                times[k].append(stepper.step(QString::fromLatin1(kinds[k].host), kinds[k].bare));
            }
        }
        stepper.leave(true);
        const double before = stepper.step(QStringLiteral("127.0.0.1"), true);
        window->Quit();
        std::printf("from Navigate to the next page's title, %d rounds, median (min-max) in ms\n",
                    Rounds);
        const double answering = LoadTiming::median(times[1]);
        for (std::size_t k = 0; k < std::size(kinds); ++k) {
            const QList<double>& t = times[k];
            std::printf("%-45s %8.1f (%7.1f-%7.1f) %6.2fx\n", kinds[k].name, LoadTiming::median(t),
                        *std::min_element(t.begin(), t.end()),
                        *std::max_element(t.begin(), t.end()), LoadTiming::median(t) / answering);
        }
        std::printf("renderers ended: %d\n", ended);
        if (before < 0)
            std::printf("page spins, same site, bare Page.navigate: not shown within %d ms\n",
                        CeilingMs);
        else
            std::printf("page spins, same site, bare Page.navigate: %.1f ms\n", before);
        return 0;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "browser failure %d: %s\n", failure.number(),
                     qPrintable(failure.description()));
        return 1;
    }
}
