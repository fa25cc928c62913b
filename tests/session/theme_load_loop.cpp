// Puts the untidy bytes of SOURCE into THEME_FILE and loads it over and over through the
// program's own load, putting the untidy bytes back (atomically) after each load, until it is
// killed.
// Prints "ready" and the milliseconds of the first round once that round is done.
#include "app/Form1.h"
#include "platform/FileStore.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"
#include "support/MockClock.h"
#include "support/RecordingBrowser.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: theme_load_loop INSTALL_DIR THEME_FILE SOURCE\n");
        return 2;
    }
    ScriptedDialogs dialogs;
    MockClock clock;
    RecordingBrowserFactory browsers;
    Platform platform{dialogs, clock, QString::fromLocal8Bit(argv[1])};
    Module1 m(platform, browsers);
    Form1 form(m);
    const QString theme = QString::fromLocal8Bit(argv[2]);
    const QByteArray untidy = FileStore::read(QString::fromLocal8Bit(argv[3]));
    FileStore::save(theme, untidy);
    QElapsedTimer timer;
    timer.start();
    for (bool first = true;; first = false) {
        m.theme().ReloadInPlace(theme);
        FileStore::save(theme, untidy);
        if (first) {
            std::printf("ready %lld\n", static_cast<long long>(timer.elapsed()));
            std::fflush(stdout);
        }
    }
}
