// The next page ready even when its document may not be cached: a realistic page (HTML sent
// "private, max-age=0" or "no-store", 20 subresources sent max-age=3600: five stylesheets, a
// script, fourteen images), every answer held back 100 ms by the local server. Times Navigate on
// the visible window to its page's load event, side by side in one run: not loaded ahead,
// loaded ahead by the hidden instance, and a plain cache hit of the same page.
// Run by hand under an X display: xvfb-run -a ./bench_kept_document
#include "LoadTiming.h"
#include "LocalHttpServer.h"
#include "browser/ahead/AheadBrowser.h"
#include "browser/ahead/KeptDocuments.h"
#include "browser/ahead/LoadAhead.h"
#include "browser/chromium/ChromiumBrowserFactory.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
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

constexpr int ServerDelayMs = 100;
constexpr int LinksPerKind = 12;
constexpr int Stylesheets = 5;
constexpr int Images = 14;

// /<html caching>/<run>/<link number>/ and the page's subresources below it.
HttpResponse realisticPage(const QString& path)
{
    HttpResponse response;
    const QString file = path.section(QLatin1Char('/'), -1);
    if (file.endsWith(QLatin1String(".css"))) {
        response.headers = {{"Cache-Control", "max-age=3600"}};
        response.contentType = "text/css";
        response.body =
            "p { margin: 1em; } img { width: 64px; height: 48px; }\n" + QByteArray(2000, ' ');
        return response;
    }
    if (file.endsWith(QLatin1String(".js"))) {
        response.headers = {{"Cache-Control", "max-age=3600"}};
        response.contentType = "text/javascript";
        response.body = "document.documentElement.dataset.ran = 'yes';\n" + QByteArray(8000, ' ');
        return response;
    }
    if (file.endsWith(QLatin1String(".png"))) {
        // A 64 x 48 picture of one colour.
        response.headers = {{"Cache-Control", "max-age=3600"}};
        response.contentType = "image/png";
        response.body = QByteArray::fromHex(
            "89504e470d0a1a0a0000000d49484452000000400000003008020000002e29eb48000000434944415478da"
            "edcf"
            "410900000804b00b6738c319ca0a7e85c10a2cd5f35a040404040404040404040404040404040404040404"
            "0404"
            "040404040404040404040404ae160ba7211eeb8217d20000000049454e44ae426082");
        return response;
    }
    const QString caching = path.section(QLatin1Char('/'), 1, 1);
    const QByteArray cacheControl = caching == QLatin1String("no-store")    ? "no-store"
                                    : caching == QLatin1String("cacheable") ? "max-age=3600"
                                                                            : "private, max-age=0";
    response.headers = {{"Cache-Control", cacheControl}};
    QByteArray body = "<!doctype html><title>" + path.toLatin1() + "</title>";
    for (int i = 0; i < Stylesheets; ++i)
        body += "<link rel=stylesheet href=\"style" + QByteArray::number(i) + ".css\">";
    body += "<script src=\"app.js\"></script><h1>A page</h1>";
    for (int i = 0; i < Images; ++i)
        body += "<img src=\"picture" + QByteArray::number(i) + ".png\" alt=\"\">";
    for (int i = 0; i < 20; ++i)
        body += "<p>" + QByteArray("Some words of an article, as a page has them. ").repeated(8) +
                "</p>";
    response.body = body;
    return response;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir profile;
    LocalHttpServer server(realisticPage, ServerDelayMs);
    ChromiumBrowserFactory factory(QString(), profile.path());
    try {
        auto window = factory.create();
        auto hidden = factory.create();
        auto& visible = static_cast<WindowBrowser&>(*window);
        auto& ahead = static_cast<AheadBrowser&>(*hidden);
        const QStringList kinds{QStringLiteral("private-max-age-0"), QStringLiteral("no-store")};
        QHash<QString, QList<double>> cold;
        QHash<QString, QList<double>> prefetched;
        QList<double> cacheHit;
        auto url = [&](const QString& caching, const char* run, int i) {
            return server.url(QStringLiteral("/%1/%2/%3/").arg(caching, QLatin1String(run)).arg(i));
        };
        // The kinds take turns, so that all meet the same machine and browser state.
        for (int i = 0; i < LinksPerKind; ++i) {
            for (const QString& kind : kinds) {
                cold[kind].append(timeVisibleLoad(visible, url(kind, "cold", i)));
                loadAhead(ahead, url(kind, "ahead", i));
                prefetched[kind].append(timeVisibleLoad(visible, url(kind, "ahead", i)));
            }
            // The same page with its HTML cacheable, shown once and then again.
            const QString again = url(QStringLiteral("cacheable"), "hit", i);
            timeVisibleLoad(visible, again);
            timeVisibleLoad(visible, QStringLiteral("about:blank"));
            cacheHit.append(timeVisibleLoad(visible, again));
        }
        const KeptDocuments& kept = factory.chromium()->ahead().keptDocuments();
        // Served from the hidden load: the site was asked once.
        int served = 0;
        for (int i = 0; i < LinksPerKind; ++i) {
            for (const QString& kind : kinds)
                served +=
                    server.requestCount(QStringLiteral("/%1/ahead/%2/").arg(kind).arg(i)) == 1;
        }
        const qsizetype peak = kept.peakBytes();
        window->Quit();
        std::printf("server delay %d ms per answer, %d subresources max-age=3600, %d links of "
                    "each kind, medians (min-max) in ms\n",
                    ServerDelayMs, Stylesheets + 1 + Images, LinksPerKind);
        const double hit = median(cacheHit);
        std::printf("%-20s %22s %22s %14s %9s %12s\n", "HTML Cache-Control", "not loaded ahead",
                    "loaded ahead", "cache hit", "speed-up", "vs cache hit");
        for (const QString& kind : kinds) {
            const QList<double>& c = cold[kind];
            const QList<double>& p = prefetched[kind];
            std::printf("%-20s %8.1f (%5.1f-%5.1f) %8.1f (%5.1f-%5.1f) %14.1f %8.1fx %11.2fx\n",
                        qPrintable(kind == QLatin1String("no-store")
                                       ? QStringLiteral("no-store")
                                       : QStringLiteral("private, max-age=0")),
                        median(c), *std::min_element(c.begin(), c.end()),
                        *std::max_element(c.begin(), c.end()), median(p),
                        *std::min_element(p.begin(), p.end()),
                        *std::max_element(p.begin(), p.end()), hit, median(c) / median(p),
                        median(p) / hit);
        }
        std::printf("documents served from the hidden load: %d; kept documents took at most %lld "
                    "bytes (bound %lld)\n",
                    served, qlonglong(peak), qlonglong(KeptDocuments::MaxBytes));
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE")) {
            for (const char* run : {"/cold/", "/ahead/", "/hit/"}) {
                const QStringList paths = server.requestedPaths().filter(QLatin1String(run));
                std::printf("%s %lld requests\n", run, qlonglong(paths.size()));
            }
            const QStringList ahead0 =
                server.requestedPaths().filter(QStringLiteral("/private-max-age-0/ahead/0/"));
            std::printf("%s\n", qPrintable(ahead0.join(QLatin1Char(' '))));
        }
        return 0;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "browser failure %d: %s\n", failure.number(),
                     qPrintable(failure.description()));
        return 1;
    }
}
