// Creates the browser pair as the toolbar does and then only waits, so that a test can kill it
// and see what it leaves behind. Prints the browser's process group when ready.
#include "browser/chromium/ChromiumBrowserFactory.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
#include "platform/Failure.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ChromiumBrowserFactory factory(QString(), app.arguments().value(1));
    try {
        auto window = factory.create();
        auto hidden = factory.create();
        hidden->Navigate(app.arguments().value(2));
        std::printf("%d %s\n", int(factory.chromium()->processGroup()),
                    qPrintable(factory.chromium()->profile().path()));
        std::fflush(stdout);
        return app.exec();
    } catch (const Failure& failure) {
        std::printf("failure %d\n", failure.number());
        return 1;
    }
}
