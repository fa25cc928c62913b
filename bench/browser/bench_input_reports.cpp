// What a moving pointer costs: the trusted pointer events that a page sees while the pointer
// crosses the visible window, against the input reports that reach the program for them.
#include "LoadEventWait.h"
#include "LocalHttpServer.h"
#include "browser/ahead/AheadBrowser.h"
#include "browser/chromium/ChromiumBrowserFactory.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/window/WindowBrowser.h"
#include "platform/Failure.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {
constexpr int Moves = 600;

HttpResponse countingPage(const QString&)
{
    HttpResponse response;
    response.body = "<!doctype html><title>moves</title><script>window.moves = 0;"
                    "addEventListener('mousemove', e => { if (e.isTrusted) ++moves; });"
                    "</script><p style='height:2000px'>moves</p>";
    return response;
}

// A pointer moving back and forth over the window's page, a step every few milliseconds.
QString motionScript()
{
    return QStringLiteral("for i in $(seq %1); do xdotool mousemove $((100 + i % 500)) "
                          "$((200 + i % 300)); sleep 0.005; done")
        .arg(Moves);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir profile;
    LocalHttpServer server(countingPage);
    ChromiumBrowserFactory factory(QString(), profile.path());
    try {
        auto window = factory.create();
        auto& visible = static_cast<WindowBrowser&>(*window);
        visible.setTop(78);
        visible.setLeft(0);
        visible.setWidth(800);
        visible.setHeight(600);
        int reports = 0;
        visible.watchUserInput([&reports] { ++reports; });
        if (!loadFully(visible, server.url(QStringLiteral("/moves")), 20000))
            throw Failure(FailureNumber::ObjectDisconnected, QStringLiteral("no load event"));
        QProcess motion;
        QElapsedTimer clock;
        clock.start();
        motion.start(QStringLiteral("bash"), {QStringLiteral("-c"), motionScript()});
        motion.waitForStarted();
        DevToolsConnection& connection = visible.connection();
        while (motion.state() != QProcess::NotRunning)
            connection.waitUntil([&motion] { return motion.waitForFinished(0); }, 50);
        const double seconds = double(clock.elapsed()) / 1000.0;
        // The last report comes up to a second after the pointer stops.
        connection.waitUntil([] { return false; }, 1500);
        const QJsonObject moves = connection.command(
            QStringLiteral("Runtime.evaluate"),
            {{QStringLiteral("expression"), QStringLiteral("moves")}}, visible.page().sessionId());
        const int events =
            moves.value(QStringLiteral("result")).toObject().value(QStringLiteral("value")).toInt();
        window->Quit();
        std::printf("pointer moving for %.1f s: %d trusted mousemove events in the page "
                    "(%.0f/s), %d input reports to the program (%.2f/s), one report per %.0f "
                    "events\n",
                    seconds, events, events / seconds, reports, reports / seconds,
                    reports ? double(events) / reports : 0.0);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "browser failure %d\n", failure.number());
        return 1;
    }
    return 0;
}
