// How much the hidden instance's prefetch helps: the time from Navigate on the visible window to
// its page's load event, for links that the hidden instance had loaded before and for links it
// had not, against a local server that holds every answer back 300 ms and lets it be cached.
#include "LoadTiming.h"
#include "LocalHttpServer.h"
#include "browser/ahead/AheadBrowser.h"
#include "browser/chromium/ChromiumBrowserFactory.h"
#include "browser/window/WindowBrowser.h"
#include "platform/Failure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {
using LoadTiming::loadAhead;
using LoadTiming::median;
using LoadTiming::timeVisibleLoad;

constexpr int ServerDelayMs = 300;
constexpr int LinksPerKind = 12;

HttpResponse cacheablePage(const QString& path)
{
    HttpResponse response;
    response.headers = {{"Cache-Control", "max-age=3600"}};
    if (path.endsWith(QLatin1String(".css"))) {
        response.contentType = "text/css";
        response.body = "body { font-family: sans-serif; margin: 2em; }";
        return response;
    }
    // A page with a stylesheet of its own, so that the load event waits for two answers. The
    // scripted pages name it only from their script, which the hidden instance does not run.
    const QByteArray name = path.toLatin1();
    if (path.startsWith(QLatin1String("/scripted"))) {
        response.body = "<!doctype html><title>" + name +
                        "</title><script>const l = document.createElement('link');"
                        "l.rel = 'stylesheet'; l.href = '" +
                        name + ".css'; document.head.append(l)</script><p>" + name + "</p>";
        return response;
    }
    response.body = "<!doctype html><title>" + name + "</title><link rel=stylesheet href=\"" +
                    name + ".css\"><p>" + name + "</p>";
    return response;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir profile;
    LocalHttpServer server(cacheablePage, ServerDelayMs);
    ChromiumBrowserFactory factory(QString(), profile.path());
    try {
        auto window = factory.create();
        auto hidden = factory.create();
        auto& visible = static_cast<WindowBrowser&>(*window);
        auto& ahead = static_cast<AheadBrowser&>(*hidden);
        QList<double> cold;
        QList<double> prefetched;
        QList<double> scriptedCold;
        QList<double> scriptedPrefetched;
        // The kinds take turns, so that all meet the same machine and browser state.
        for (int i = 0; i < LinksPerKind; ++i) {
            cold.append(timeVisibleLoad(visible, server.url(QStringLiteral("/cold/%1").arg(i))));
            const QString next = server.url(QStringLiteral("/ahead/%1").arg(i));
            loadAhead(ahead, next);
            prefetched.append(timeVisibleLoad(visible, next));
            scriptedCold.append(
                timeVisibleLoad(visible, server.url(QStringLiteral("/scripted-cold/%1").arg(i))));
            const QString scripted = server.url(QStringLiteral("/scripted-ahead/%1").arg(i));
            loadAhead(ahead, scripted);
            scriptedPrefetched.append(timeVisibleLoad(visible, scripted));
        }
        window->Quit();
        const double coldMedian = median(cold);
        const double prefetchedMedian = median(prefetched);
        std::printf("server delay %d ms per answer, %d links of each kind\n", ServerDelayMs,
                    LinksPerKind);
        std::printf("not loaded ahead:        median %7.1f ms  (min %.1f, max %.1f)\n", coldMedian,
                    *std::min_element(cold.begin(), cold.end()),
                    *std::max_element(cold.begin(), cold.end()));
        std::printf("loaded ahead (hidden):   median %7.1f ms  (min %.1f, max %.1f)\n",
                    prefetchedMedian, *std::min_element(prefetched.begin(), prefetched.end()),
                    *std::max_element(prefetched.begin(), prefetched.end()));
        std::printf("ratio not ahead / ahead: %.1fx\n", coldMedian / prefetchedMedian);
        const double scriptedColdMedian = median(scriptedCold);
        const double scriptedMedian = median(scriptedPrefetched);
        std::printf("stylesheet named only by script (the hidden instance runs no script):\n");
        std::printf("not loaded ahead:        median %7.1f ms\n", scriptedColdMedian);
        std::printf("loaded ahead (hidden):   median %7.1f ms\n", scriptedMedian);
        std::printf("ratio not ahead / ahead: %.1fx\n", scriptedColdMedian / scriptedMedian);
        return 0;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "browser failure %d: %s\n", failure.number(),
                     qPrintable(failure.description()));
        return 1;
    }
}
