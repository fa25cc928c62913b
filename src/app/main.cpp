#include "app/CommandLine.h"
#include "app/DisplayChoice.h"
#include "app/Form1.h"
#include "app/QtDialogs.h"
#include "app/SingleToolbar.h"
#include "app/StepTimer.h"
#include "browser/chromium/ChromiumBrowserFactory.h"
#include "platform/Clock.h"
#include "platform/InstallDir.h"
#include "session/Handler.h"
#include "session/Module1.h"
#include "themes/ThemeCommands.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    const CommandLine options = CommandLine::parse(CommandLine::fromArgv(argc, argv));
    if (options.action() != CommandLine::Action::Run)
        return options.answer();
    if (const QString refusal = DisplayChoice::apply(); !refusal.isEmpty()) {
        std::fprintf(stderr, "quillon: %s\n", qPrintable(refusal));
        return 1;
    }
    // Windowless until the start-up asks for its window: the browser's own start-up, the longest
    // part of the program's, runs while the toolbar is built. Not for a copy that hands over.
    ChromiumBrowserFactory::Launched browser;
    if (!SingleToolbar::anotherCopyListens(SingleToolbar::socketName()))
        browser = ChromiumBrowserFactory::launchAhead();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setDesktopFileName(QStringLiteral("quillon"));
    SingleToolbar single(SingleToolbar::socketName());
    if (single.handOverOrListen(options.themeFile()))
        return 0;

    const QString installDir = InstallDir::locate();
    InstallDir::installIfMissing(installDir);

    QtDialogs dialogs;
    SystemClock clock;
    Platform platform{dialogs, clock, installDir};
    ChromiumBrowserFactory browsers(std::move(browser));
    Module1 m(platform, browsers);
    Form1 form(m);
    // A screen that steps on its own is unattended from its start-up on.
    m.unattended = options.stepEvery().has_value();
    runHandler(m, [&form, &options] { form.Form_Load(options.themeFile()); });
    std::unique_ptr<StepTimer> stepTimer;
    if (const auto interval = options.stepEvery()) {
        stepTimer = std::make_unique<StepTimer>(m, form, *interval);
        stepTimer->start();
    }
    QObject::connect(&single, &SingleToolbar::requested, &form,
                     [&m, &form, &stepTimer](const QString& themeFile) {
                         form.setWindowState(form.windowState() & ~Qt::WindowMinimized);
                         form.raise();
                         form.activateWindow();
                         if (themeFile.isEmpty())
                             return;
                         runHandler(m, [&m, &themeFile] { OpenThemeFile(m, themeFile); });
                         if (stepTimer)
                             stepTimer->restart();
                     });
    form.show();
    return app.exec();
}
