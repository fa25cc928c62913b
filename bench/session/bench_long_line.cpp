// A theme file of one huge line (50 MB by default, or the size in MB given as the argument):
// the time of the load, of the first opening of the drop-down list and of a pick, and the
// program's memory after each step.
#include "app/ClassicComboBox.h"
#include "app/Form1.h"
#include "session/Handler.h"
#include "session/Module1.h"
#include "platform/InstallDir.h"
#include "support/MockClock.h"
#include "support/ScriptedDialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {
// Keeps nothing of what it is sent, so that only the toolbar's own memory is measured.
class NullBrowser : public Browser
{
public:
    void setVisible(bool) override {}
    void setTop(double) override {}
    void setLeft(double) override {}
    void setWidth(double) override {}
    void setHeight(double) override {}
    void Navigate(const QString& url) override { lastSize = url.size(); }
    QString LocationURL() override { return {}; }
    void Quit() override {}
    static inline qsizetype lastSize = 0;
};

class NullBrowsers : public BrowserFactory
{
public:
    std::unique_ptr<Browser> create() override { return std::make_unique<NullBrowser>(); }
};

long residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * 4096 / (1024 * 1024) : -1;
}

long peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void report(const char* step, const QElapsedTimer& timer)
{
    std::printf("%-28s %8.3f s   resident %5ld MB   peak %5ld MB\n", step,
                double(timer.nsecsElapsed()) / 1e9, residentMb(), peakMb());
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? QByteArray(argv[1]).toInt() : 50;
    QTemporaryDir temp;
    const QString installDir = temp.path() + QStringLiteral("/Quillon2/");
    InstallDir::installIfMissing(installDir);
    {
        QFile theme(installDir + QStringLiteral("default.qld"));
        if (!theme.open(QIODevice::WriteOnly))
            return 1;
        theme.write("http://site.example/" + QByteArray(megabytes * 1000 * 1000, 'x') + "\r\n");
    }
    ScriptedDialogs dialogs;
    MockClock clock;
    Platform platform{dialogs, clock, installDir};
    NullBrowsers browsers;
    Module1 m(platform, browsers);
    Form1 form(m);
    std::printf("one line of %d MB; resident before the start %ld MB\n", megabytes, residentMb());

    QElapsedTimer timer;
    timer.start();
    runHandler(m, [&form] { form.Form_Load(); });
    report("start-up with the load", timer);

    form.show();
    QComboBox* list = form.Combo1->findChild<QComboBox*>();
    timer.restart();
    list->showPopup();
    QApplication::processEvents();
    report("first opening of the list", timer);

    timer.restart();
    list->view()->setCurrentIndex(list->model()->index(0, 0));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list->view(), &enter);
    report("pick of the entry", timer);
    std::printf("entry shown as %lld characters; pick sent %lld characters\n",
                qlonglong(list->itemText(0).size()), qlonglong(NullBrowser::lastSize));
    return 0;
}
