// A browser killed while the toolbar steps on its own, as the out-of-memory killer would: the real
// browser comes back on the link that was on show and the steps go on, and nothing of the dead one
// is left.
#include "BrowserPair.h"
#include "LocalHttpServer.h"
#include "app/Form1.h"
#include "app/StepTimer.h"
#include "browser/chromium/RunningChromium.h"
#include "platform/InstallDir.h"
#include "session/Handler.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"
#include "support/MockClock.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
// Waits for the event, however long a busy machine takes to bring it.
void until(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
}

// Processes of `group` that still run: a zombie has let go of everything but its number.
int runningInGroup(pid_t group)
{
    int running = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // After the name in parentheses: state, parent, process group.
        const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
        if (fields.size() > 3 && fields.at(3).toInt() == group && fields.at(1) != "Z")
            ++running;
    }
    return running;
}

pid_t browserGroup(Module1& m)
{
    return static_cast<WindowBrowser&>(*m.MainBrowser).chromium().processGroup();
}
} // namespace

class TestBrowserRestart : public QObject
{
    Q_OBJECT

private slots:
    // Killed as the out-of-memory killer would, or hung with its pipe still open; on the lasting
    // profile, or on a temporary one while another machine's copy holds that.
    void endedBrowserComesBackAndStepsOn_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("temporary");
        QTest::newRow("killed") << SIGKILL << false;
        QTest::newRow("hung") << SIGSTOP << false;
        QTest::newRow("killed, on a temporary profile") << SIGKILL << true;
    }
    void endedBrowserComesBackAndStepsOn()
    {
        QFETCH(int, signal);
        QFETCH(bool, temporary);
        if (const QString why = browserTestUnavailable(m_home.path()); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString lock =
            m_home.path() + QStringLiteral("/.config/Quillon2/browser-profile/SingletonLock");
        QFile::remove(lock);
        if (temporary) {
            QVERIFY(QDir().mkpath(QFileInfo(lock).path()));
            QVERIFY(QFile::link(QStringLiteral("elsewhere.example-1"), lock));
        }
        LocalHttpServer server([](const QString&) {
            HttpResponse page;
            page.body = "<p>page";
            return page;
        });
        const QString installDir = m_home.path() + QLatin1Char('/') +
                                   QString::fromLatin1(QTest::currentDataTag()) +
                                   QStringLiteral("/Quillon2/");
        InstallDir::installIfMissing(installDir);
        QFile list(installDir + QStringLiteral("default.qld"));
        QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const char* path : {"/one", "/two", "/three"})
            list.write(server.url(QString::fromLatin1(path)).toUtf8() + "\r\n");
        list.close();
        ScriptedDialogs dialogs;
        MockClock clock;
        Platform platform{dialogs, clock, installDir};
        ChromiumBrowserFactory browsers;
        Module1 m(platform, browsers);
        Form1 form(m);
        runHandler(m, [&form] { form.Form_Load(); });
        StepTimer timer(m, form, 2s);
        timer.start();
        until([&] { return server.requestCount(QStringLiteral("/two")) > 0; });

        const pid_t dead = browserGroup(m);
        const QString profile =
            static_cast<RunningChromium&>(static_cast<WindowBrowser&>(*m.MainBrowser).chromium())
                .profile()
                .path();
        QCOMPARE(profile.startsWith(m_home.path()), !temporary);
        // On a temporary profile the group is led by the shell that removes the profile after the
        // browser: all of it is killed, so that nothing but the program can remove it.
        ::kill(temporary ? -dead : dead, signal);
        until([&] {
            QFile file(installDir + QStringLiteral("error.log"));
            return file.open(QIODevice::ReadOnly) &&
                   file.readAll().contains(" and was started again");
        });
        QCOMPARE(runningInGroup(dead), 0);
        const pid_t born = browserGroup(m);
        QVERIFY(born != dead);
        if (temporary)
            until([&] { return !QFileInfo::exists(profile); });
        else
            QVERIFY(QFile::symLinkTarget(profile + QStringLiteral("/SingletonLock"))
                        .endsWith(QLatin1Char('-') + QString::number(born)));
        // The link on show comes back, and the steps go on from it.
        const int shown = m.theme().LinkIndex();
        until([&] { return m.MainBrowser->LocationURL() == m.theme().Links(shown); });
        until([&] { return m.theme().LinkIndex() != shown; });
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(browserGroup(m), born);
    }

private:
    QTemporaryDir m_home;
};

QTEST_MAIN(TestBrowserRestart)
#include "test_browser_restart.moc"
