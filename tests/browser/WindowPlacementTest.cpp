// Where the window lands and what a used profile's own start-up would put in it.
#include "BrowserTestCase.h"
#include "BrowserTests.h"
#include "browser/chromium/ChromiumProcess.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/devtools/DevToolsPipe.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QJsonArray>
#include <QProcess>
#include <QTest>

namespace {
// Whether a session file of the profile names every one of `links`.
bool sessionHolds(const QString& profile, const QStringList& links)
{
    QDirIterator it(profile + QStringLiteral("/Default/Sessions"), QDir::Files);
    while (it.hasNext()) {
        QFile file(it.next());
        const QByteArray saved = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (std::all_of(links.begin(), links.end(),
                        [&](const QString& link) { return saved.contains(link.toUtf8()); }))
            return true;
    }
    return false;
}

QRect rectOf(const QJsonObject& bounds)
{
    const auto at = [&](const char* edge) { return bounds.value(QLatin1String(edge)).toInt(); };
    return {at("left"), at("top"), at("width"), at("height")};
}

// Runs the browser as a user would have run it: with `arguments` added to the usual ones but with
// its own start-up window on `links` (as tabs), lets the tabs load, then ends it with Browser.close
// as the toolbar's End does. The profile then holds the session of those tabs. Returns the
// addresses of the browser's tabs (once there are `tabCount`) just before the end; nothing when it
// did not run as it should.
std::optional<QStringList> runBrowserOnce(const QString& profile, const QStringList& links,
                                          const LocalHttpServer& server, int tabCount)
{
    QStringList arguments = RunningChromium::browserArguments(profile);
    arguments.removeAll(QStringLiteral("--no-startup-window"));
    ChromiumProcess process(ChromiumBrowserFactory::findExecutable(), arguments + links, {});
    const ChromiumProcess::Pipe ends = process.takePipe();
    DevToolsPipe pipe(ends.commandFd, ends.eventFd);
    if (!pipe.call(QStringLiteral("Browser.getVersion"), {}, {}, 10000))
        return {};
    for (const QString& link : links) {
        const QString path = QUrl(link).path();
        if (!pipe.waitUntil([&] { return server.requestCount(path) > 0; }, 10000))
            return {};
    }
    // Restored tabs come a moment after the window; the session is written a moment after the
    // tabs have loaded.
    QStringList tabs;
    const QDeadlineTimer giveUp(20000);
    while (!giveUp.hasExpired() && (tabs.size() < tabCount || !sessionHolds(profile, links))) {
        pipe.waitUntil([] { return false; }, 100);
        const auto targets = pipe.call(QStringLiteral("Target.getTargets"), {}, {}, 5000);
        if (!targets)
            return {};
        tabs.clear();
        for (const QJsonValue& target : targets->value(QStringLiteral("result"))
                                            .toObject()
                                            .value(QStringLiteral("targetInfos"))
                                            .toArray()) {
            if (target[QStringLiteral("type")].toString() == QLatin1String("page"))
                tabs.append(target[QStringLiteral("url")].toString());
        }
    }
    pipe.send(QStringLiteral("Browser.close"));
    pipe.waitUntil([] { return false; }, 5000);
    if (!process.waitForExit(10000))
        return {};
    tabs.sort();
    return tabs;
}
} // namespace

class WindowPlacementTest : public BrowserTestCase
{
    Q_OBJECT

public:
    using BrowserTestCase::BrowserTestCase;

private slots:
    void initTestCase() { startPair(); }
    void restoredSessionNeverTakesTheWindow();
    void windowLandsWhereAsked_data();
    void windowLandsWhereAsked();
};

void WindowPlacementTest::restoredSessionNeverTakesTheWindow()
{
    // A used profile: the user set "Continue where you left off" and had two tabs open at the
    // last End.
    QTemporaryDir profile;
    QVERIFY(QDir(profile.path()).mkpath(QStringLiteral("Default")));
    QFile preferences(profile.path() + QStringLiteral("/Default/Preferences"));
    QVERIFY(preferences.open(QIODevice::WriteOnly));
    preferences.write(R"({"session":{"restore_on_startup":1}})");
    preferences.close();
    const QStringList tabs{m_server->url(QStringLiteral("/page/restored-one")),
                           m_server->url(QStringLiteral("/page/restored-two"))};
    QCOMPARE(runBrowserOnce(profile.path(), tabs, *m_server, 2), tabs);
    QVERIFY(QDir(profile.path() + QStringLiteral("/Default/Sessions")).count() > 2);
    QVERIFY(preferences.open(QIODevice::ReadOnly));
    QVERIFY(preferences.readAll().contains(R"("restore_on_startup":1)"));
    preferences.close();
    // What the profile would do for a browser that opens a window of its own: both tabs back.
    {
        QTemporaryDir copy;
        QVERIFY(QProcess::execute(QStringLiteral("cp"),
                                  {QStringLiteral("-a"), profile.path() + QStringLiteral("/."),
                                   copy.path()}) == 0);
        const QString own = m_server->url(QStringLiteral("/page/control"));
        QCOMPARE(runBrowserOnce(copy.path(), {own}, *m_server, 3),
                 QStringList({own, tabs.at(0), tabs.at(1)}));
    }

    ChromiumBrowserFactory factory(QString(), profile.path());
    // Made where it goes, not where the profile's last window stood.
    const QRect placed(0, 78, 900, 600);
    factory.expectWindowPlacement(placed);
    auto main = factory.create();
    auto hidden = factory.create();
    auto& window = static_cast<WindowBrowser&>(*main);
    QCOMPARE(rectOf(windowBounds(window)), placed);
    main->setTop(placed.top());
    main->setLeft(placed.left());
    main->setWidth(placed.width());
    main->setHeight(placed.height());
    main->setVisible(true);
    // Right: the window shows the next link while the hidden instance loads the one after.
    const QString next = m_server->url(QStringLiteral("/page/restore-next"));
    LoadEventWait load(window);
    main->Navigate(next);
    hidden->Navigate(m_server->url(QStringLiteral("/page/restore-after")));
    QVERIFY(load.wait(10000));
    QCOMPARE(main->LocationURL(), next);
    // The restore setting opened nothing: one page, in one window.
    QTest::qWait(2000);
    QCOMPARE(pageTargetCount(window.connection()), 1);
    // The page is on show in the placed window: its title is the title of that window.
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--name"), QStringLiteral("^restore-next")});
    QVERIFY(xdotool.waitForFinished());
    const QList<QByteArray> shown = xdotool.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(shown.size(), 1);
    QVERIFY(!shown.first().isEmpty());
    QCOMPARE(rectOf(windowBounds(window)), placed);
    main->Quit();
}

void WindowPlacementTest::windowLandsWhereAsked_data()
{
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("whole pixels") << 78.0 << 0.0 << 800.0 << 500.0 << QRect(0, 78, 800, 500);
    QTest::newRow("fractions are rounded")
        << 100.5 << 20.49 << 640.4 << 480.6 << QRect(20, 101, 640, 481);
    QTest::newRow("start-up products of a 1024 x 768 screen")
        << 78.0 << 0.0 << 1024 * 15 * 0.067 << 768 * 15 * 0.055 << QRect(0, 78, 1029, 634);
}

void WindowPlacementTest::windowLandsWhereAsked()
{
    QFETCH(double, top);
    QFETCH(double, left);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(QRect, expected);
    m_pair->main->setTop(top);
    m_pair->main->setLeft(left);
    m_pair->main->setWidth(width);
    m_pair->main->setHeight(height);
    const QJsonObject bounds = windowBounds(mainBrowser());
    QCOMPARE(rectOf(bounds), expected);
    QCOMPARE(bounds.value(QStringLiteral("windowState")).toString(), QStringLiteral("normal"));
}

std::unique_ptr<QObject> makeWindowPlacementTests(BrowserFixture& fixture)
{
    return std::make_unique<WindowPlacementTest>(fixture);
}

#include "WindowPlacementTest.moc"
