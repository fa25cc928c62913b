// Adds a link to THEME_FILE with Grab's Add It, or rewrites it with Edit's Process (its first
// line moved to the end), clicking the program's own buttons, over and over until it is
// killed; after each round the file gets its first bytes back. Prints "ready" and the
// milliseconds of the first round once that round is done.
//   capture_loop add|process INSTALL_DIR THEME_FILE
#include "app/Form1.h"
#include "capture/Form2.h"
#include "capture/Form3.h"
#include "platform/FileStore.h"
#include "platform/InstallDir.h"
#include "session/Handler.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"
#include "session/Toolbar.h"
#include "support/MockClock.h"
#include "support/RecordingBrowser.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>

namespace {
const QString addedLink = QStringLiteral("http://added.example/");

void click(QWidget* window, const char* button)
{
    window->findChild<QPushButton*>(QString::fromLatin1(button))->click();
}

void addIt(Module1& m)
{
    click(dynamic_cast<QWidget*>(m.toolbar), "Command6");
    auto* form = qobject_cast<Form2*>(m.Form2.data());
    form->Text1->setText(addedLink);
    click(form, "Command1");
}

void process(Module1& m)
{
    click(dynamic_cast<QWidget*>(m.toolbar), "Command7");
    auto* form = qobject_cast<Form3*>(m.Form3.data());
    QStringList lines = form->Text1->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.append(lines.takeFirst());
    form->Text1->setPlainText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    click(form, "Command1");
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The offscreen platform complains at every dialog raised; the loop's output is its rounds.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (argc != 4) {
        std::fprintf(stderr, "usage: capture_loop add|process INSTALL_DIR THEME_FILE\n");
        return 2;
    }
    const bool adding = qstrcmp(argv[1], "add") == 0;
    const QString installDir = QString::fromLocal8Bit(argv[2]);
    InstallDir::installIfMissing(installDir);
    ScriptedDialogs dialogs;
    MockClock clock;
    RecordingBrowserFactory browsers;
    Platform platform{dialogs, clock, installDir};
    Module1 m(platform, browsers);
    Form1 form(m);
    runHandler(m, [&form] { form.Form_Load(); });
    const QString theme = QString::fromLocal8Bit(argv[3]);
    const QByteArray first = FileStore::read(theme);
    runHandler(m, [&m, &theme] { m.theme().LoadThemeFile(theme); });
    QElapsedTimer timer;
    timer.start();
    for (bool firstRound = true;; firstRound = false) {
        adding ? addIt(m) : process(m);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        FileStore::save(theme, first);
        if (firstRound) {
            std::printf("ready %lld\n", static_cast<long long>(timer.elapsed()));
            std::fflush(stdout);
        }
    }
}
