// The browser's start, its loss and its end: no process is left behind.
#include "BrowserProcesses.h"
#include "BrowserTestCase.h"
#include "BrowserTests.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
#include "platform/Failure.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <functional>

namespace {
// The failure number that `operation` throws, 0 when it succeeds.
int failureOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const Failure& failure) {
        return failure.number();
    }
    return 0;
}

enum class Loss { WindowClosed, TabClosed, BrowserKilled };
} // namespace

class LifetimeTest : public BrowserTestCase
{
    Q_OBJECT

public:
    using BrowserTestCase::BrowserTestCase;

private slots:
    void initTestCase() { startPair(); }
    void startLoadsNoPageOfTheBrowsersOwn();
    void goneWindowFailsNextOperation_data();
    void goneWindowFailsNextOperation();
    void quitLeavesNoProcess();
    void browserThatCannotStartFailsCreation_data();
    void browserThatCannotStartFailsCreation();
    void profileHeldByAnotherCopyGivesTemporaryOne();
    void killedProgramLeavesNoBrowser_data();
    void killedProgramLeavesNoBrowser();
};

// A page of the browser's own user interface (its address bar's suggestions, say) is loaded at
// start-up in a renderer of its own, whose work delays the first link's.
void LifetimeTest::startLoadsNoPageOfTheBrowsersOwn()
{
    const QJsonArray targets = targetsOf(mainBrowser().connection());
    QVERIFY(!targets.isEmpty());
    for (const QJsonValue& target : targets)
        QVERIFY2(target[QStringLiteral("type")].toString() != QLatin1String("browser_ui"),
                 qPrintable(target[QStringLiteral("url")].toString()));
}

void LifetimeTest::goneWindowFailsNextOperation_data()
{
    QTest::addColumn<int>("loss");
    QTest::addColumn<bool>("hiddenSurvives");
    QTest::newRow("window closed") << int(Loss::WindowClosed) << false;
    QTest::newRow("tab closed, window kept") << int(Loss::TabClosed) << true;
    QTest::newRow("browser killed") << int(Loss::BrowserKilled) << false;
}

void LifetimeTest::goneWindowFailsNextOperation()
{
    QFETCH(int, loss);
    QFETCH(bool, hiddenSurvives);
    QTemporaryDir profile;
    ChromiumBrowserFactory factory(QString(), profile.path());
    auto main = factory.create();
    auto hidden = factory.create();
    auto& window = static_cast<WindowBrowser&>(*main);
    DevToolsConnection& connection = window.connection();
    const pid_t group = window.chromium().processGroup();
    if (Loss(loss) == Loss::TabClosed)
        connection.command(QStringLiteral("Target.createTarget"),
                           {{QStringLiteral("url"), QStringLiteral("about:blank")}});
    if (Loss(loss) == Loss::BrowserKilled)
        ::kill(-group, SIGKILL);
    else
        connection.command(QStringLiteral("Target.closeTarget"),
                           {{QStringLiteral("targetId"), window.page().targetId()}});
    QTRY_VERIFY_WITH_TIMEOUT(!connection.hasTarget(window.page().targetId()), 15000);
    // Without its last window the browser ends, the hidden target with it.
    if (!hiddenSurvives)
        QTRY_VERIFY_WITH_TIMEOUT(!connection.isAlive(), 15000);

    const QString link = m_server->url(QStringLiteral("/page/lost"));
    QCOMPARE(failureOf([&] { main->Navigate(link); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { main->LocationURL(); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { main->setTop(78); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { main->setVisible(true); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { hidden->Navigate(link); }),
             hiddenSurvives ? 0 : FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { main->Quit(); }), FailureNumber::ObjectDisconnected);
    // Killed processes take a moment of the kernel's to be gone from the process table.
    QTRY_COMPARE_WITH_TIMEOUT(browserProcesses(group, profile.path()), QList<pid_t>(), 10000);
}

void LifetimeTest::quitLeavesNoProcess()
{
    QTemporaryDir profile;
    ChromiumBrowserFactory factory(QString(), profile.path());
    auto main = factory.create();
    auto hidden = factory.create();
    hidden->Navigate(m_server->url(QStringLiteral("/page/before-quit")));
    const pid_t group = factory.chromium()->processGroup();
    QVERIFY(!browserProcesses(group, profile.path()).isEmpty());
    main->Quit();
    QTRY_COMPARE_WITH_TIMEOUT(browserProcesses(group, profile.path()), QList<pid_t>(), 10000);
    QCOMPARE(failureOf([&] { main->Navigate(QString()); }), FailureNumber::ObjectDisconnected);
    QCOMPARE(failureOf([&] { hidden->Navigate(QString()); }), FailureNumber::ObjectDisconnected);
}

void LifetimeTest::browserThatCannotStartFailsCreation_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QByteArray>("script"); // written to `executable` when given
    const QString dir = m_home.path();
    QTest::newRow("missing") << QStringLiteral("/nonexistent/chromium") << QByteArray();
    QTest::newRow("not executable") << dir + QStringLiteral("/plain-file") << QByteArray("x");
    QTest::newRow("ends at once") << dir + QStringLiteral("/ends")
                                  << QByteArray("#!/bin/sh\nexit 3\n");
    // One that starts and never answers is the scripted browser's
    // (browserThatNeverMakesTheWindowFailsCreation).
}

void LifetimeTest::browserThatCannotStartFailsCreation()
{
    QFETCH(QString, executable);
    QFETCH(QByteArray, script);
    if (!script.isEmpty()) {
        QFile file(executable);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(script);
        file.close();
        if (script.startsWith("#!"))
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QTemporaryDir profile;
    ChromiumBrowserFactory factory(executable, profile.path());
    QCOMPARE(failureOf([&] { factory.create(); }), FailureNumber::CannotCreateObject);
}

void LifetimeTest::profileHeldByAnotherCopyGivesTemporaryOne()
{
    ChromiumBrowserFactory second(QString(), m_profileDir);
    auto main = second.create();
    const QString temporary = second.chromium()->profile().path();
    QVERIFY(second.chromium()->profile().isTemporary());
    QVERIFY(temporary != m_profileDir);
    QVERIFY(QFileInfo(temporary).isDir());
    QVERIFY(loadFully(static_cast<WindowBrowser&>(*main),
                      m_server->url(QStringLiteral("/page/second-copy"))));
    main->Quit();
    QVERIFY(!QFileInfo::exists(temporary));
    // The first copy goes on undisturbed.
    QVERIFY(loadFully(mainBrowser(), m_server->url(QStringLiteral("/page/first-copy"))));
}

void LifetimeTest::killedProgramLeavesNoBrowser_data()
{
    QTest::addColumn<bool>("profileHeld");
    QTest::newRow("own profile") << false;
    QTest::newRow("temporary profile") << true;
}

void LifetimeTest::killedProgramLeavesNoBrowser()
{
    QFETCH(bool, profileHeld);
    QTemporaryDir ownProfile;
    const QString held = QStringLiteral("/page/held-") + QString::number(profileHeld);
    QProcess holder;
    holder.start(QCoreApplication::applicationDirPath() + QStringLiteral("/browser_holder"),
                 {profileHeld ? m_profileDir : ownProfile.path(), m_server->url(held)});
    QVERIFY(holder.waitForReadyRead(30000));
    const QList<QByteArray> ready = holder.readAllStandardOutput().trimmed().split(' ');
    const pid_t group = pid_t(ready.value(0).toInt());
    const QString profile = QString::fromLocal8Bit(ready.value(1));
    QVERIFY2(group > 0, ready.value(0).constData());
    QCOMPARE(profile != ownProfile.path(), profileHeld);
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requestCount(held) > 0, 15000);
    QVERIFY(!browserProcesses(group, profile).isEmpty());

    holder.kill(); // SIGKILL: nothing of the program runs any more
    QVERIFY(holder.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(browserProcesses(group, profile).isEmpty(), 20000);
    if (profileHeld)
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(profile), 10000);
}

std::unique_ptr<QObject> makeLifetimeTests(BrowserFixture& fixture)
{
    return std::make_unique<LifetimeTest>(fixture);
}

#include "LifetimeTest.moc"
