// The browser's state machines against a scripted browser on a socket pair, on a clock that the
// test moves: what the program sends as the browser answers, stays silent or ends a page. No
// Chromium, and no real time passes.
#include "browser/BrowserClock.h"
#include "browser/ahead/AheadBrowser.h"
#include "browser/ahead/LoadAhead.h"
#include "browser/chromium/BrowserProfile.h"
#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/BrowserEndWatch.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/ShownPage.h"
#include "browser/window/WindowBrowser.h"
#include "browser/window/WindowNavigation.h"
#include "platform/Failure.h"

#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The browser at the other end of the pipe. It reads the program's commands whenever the program
// waits for it (or the test asks), and answers each at once, unless told to refuse it or to
// leave it unanswered (by "method" or "method@session").
class ScriptedBrowser
{
public:
    explicit ScriptedBrowser(int fd) : m_fd(fd) {}
    ~ScriptedBrowser() { ::close(m_fd); }

    void respond()
    {
        char chunk[65536];
        for (ssize_t n; (n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT)) > 0;)
            m_buffer.append(chunk, n);
        for (qsizetype end; (end = m_buffer.indexOf('\0')) >= 0; m_buffer.remove(0, end + 1))
            take(QJsonDocument::fromJson(m_buffer.left(end)).object());
    }
    void send(const QString& method, const QJsonObject& params, const QString& session = {})
    {
        QJsonObject event{{"method", method}, {"params", params}};
        if (!session.isEmpty())
            event["sessionId"] = session;
        write(QJsonDocument(event).toJson(QJsonDocument::Compact));
    }
    void answer(int id, const QJsonObject& result = {})
    {
        write("{\"id\":" + QByteArray::number(id) +
              ",\"result\":" + QJsonDocument(result).toJson(QJsonDocument::Compact) + '}');
    }

    QSet<QString> refused;
    QSet<QString> unanswered;
    QStringList heard;          // "method@session", in order
    QHash<QString, int> lastId; // of each method heard

private:
    void take(const QJsonObject& command)
    {
        const int id = command["id"].toInt();
        const QString method = command["method"].toString();
        const QString name = method + '@' + command["sessionId"].toString();
        const QJsonObject params = command["params"].toObject();
        heard << name;
        lastId[method] = id;
        if (refused.contains(method) || refused.contains(name))
            write("{\"id\":" + QByteArray::number(id) + ",\"error\":{\"code\":-32000}}");
        else if (!unanswered.contains(method) && !unanswered.contains(name))
            answer(id, resultOf(method, params));
    }
    // The window's tab TAB, whose page T has the session S and whose navigations the browser names
    // "step"; the hidden target H, session HS.
    QJsonObject resultOf(const QString& method, const QJsonObject& params)
    {
        if (method == "Browser.getWindowForTarget")
            return {{"windowId", 1},
                    {"bounds", QJsonObject{{"width", 1286}, {"windowState", "normal"}}}};
        if (method == "Target.createTarget")
            return {{"targetId", params["hidden"].toBool() ? "H" : "TAB"}};
        if (method == "Target.attachToTarget")
            return {{"sessionId", params["targetId"].toString() + "S"}};
        if (method == "Page.navigate")
            return {{"loaderId", "step"}};
        if (method == "Target.setAutoAttach")
            send("Target.attachedToTarget",
                 {{"sessionId", "S"},
                  {"targetInfo", QJsonObject{{"targetId", "T"}, {"type", "page"}}}},
                 "TABS");
        return {};
    }
    void write(const QByteArray& frame)
    {
        QVERIFY(::write(m_fd, frame + '\0', frame.size() + 1) > 0);
    }

    int m_fd;
    QByteArray m_buffer;
};

// Timers that run only when the test moves the time. A wait for the browser lets the scripted
// browser respond first, and takes all the time that it was given when no answer comes.
class MovedClock : public BrowserClock
{
public:
    struct Timer : BrowserTimer
    {
        explicit Timer(MovedClock& clock) : clock(clock) { clock.timers.insert(this); }
        ~Timer() override { clock.timers.remove(this); }
        void start(int ms) override { due = clock.now + ms; }
        void stop() override { due = -1; }
        int remainingMs() const override
        {
            return due < 0 ? -1 : int(qMax<qint64>(due - clock.now, 0));
        }
        MovedClock& clock;
        qint64 due = -1;
    };
    std::unique_ptr<BrowserTimer> timer() override { return std::make_unique<Timer>(*this); }
    qint64 nowMs() const override { return now; }
    bool waitForInput(int fd, int ms) override
    {
        if (browser)
            browser->respond();
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 0) > 0)
            return true;
        now += qMax(ms, 0);
        return false;
    }
    // Moves the time on, firing the timers that come due on the way, in order.
    void pass(int ms)
    {
        const qint64 end = now + ms;
        for (;;) {
            Timer* next = nullptr;
            for (Timer* timer : std::as_const(timers))
                if (timer->due >= 0 && timer->due <= end && (!next || timer->due < next->due))
                    next = timer;
            if (!next)
                break;
            now = std::max(now, next->due);
            next->due = -1;
            next->fired();
        }
        now = end;
    }

    ScriptedBrowser* browser = nullptr;
    qint64 now = 0;
    QSet<Timer*> timers;
};
} // namespace

class BrowserMachinesTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void stepLeavesAPageThatHoldsIt_data();
    void stepLeavesAPageThatHoldsIt();
    void windowPageHoldsTheLoadAhead_data();
    void windowPageHoldsTheLoadAhead();
    void failedSetUpFailsWhatFollows_data();
    void failedSetUpFailsWhatFollows();
    void hiddenGuardRefusedLateFailsWhatFollows();
    void browserThatNeverMakesTheWindowFailsCreation();
    void browserEndIsToldOnce_data();
    void browserEndIsToldOnce();
    void firstPageGoesBeforeItsServing();
    void windowMadeOnItsFirstLinkTakesOverItsLoad_data();
    void windowMadeOnItsFirstLinkTakesOverItsLoad();
    void windowIsMovedOnlyOffWhereItStands_data();
    void windowIsMovedOnlyOffWhereItStands();
    void copyUnderOtherCookiesIsNeverPrerendered();
    void timedStepPassesOverWhatDoesNotLoad_data();
    void timedStepPassesOverWhatDoesNotLoad();

private:
    DevToolsConnection& connection() { return m_chromium->connection(); }
    // Lets the program read what the browser sent, and the browser what the program sent.
    void exchange()
    {
        connection().waitUntil([] { return false; }, 0);
    }
    // The letters of the commands heard since the last call, of `letters` ("Method L ...").
    QString sentSince(const QString& letters);
    // What the browser reports of the window's page T: "commit" at `url`, "stop" (its main frame
    // stopped loading), "paint" (its first), "restore" (from the back-forward cache), "crash".
    void windowEvent(const QString& what, const QString& url = {});

    QTemporaryDir m_profile;
    std::unique_ptr<MovedClock> m_clock;
    std::unique_ptr<ScriptedBrowser> m_browser;
    std::shared_ptr<RunningChromium> m_chromium;
    qsizetype m_read = 0;
};

void BrowserMachinesTest::init()
{
    int ends[2];
    QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
    m_clock = std::make_unique<MovedClock>();
    m_browser = std::make_unique<ScriptedBrowser>(ends[1]);
    m_clock->browser = m_browser.get();
    m_chromium = RunningChromium::overPipe(::dup(ends[0]), ends[0],
                                           BrowserProfile::choose(m_profile.path()), *m_clock);
    m_read = 0;
}

void BrowserMachinesTest::cleanup()
{
    m_chromium.reset();
    m_browser.reset();
    m_clock.reset();
}

QString BrowserMachinesTest::sentSince(const QString& letters)
{
    QString sent;
    for (; m_read < m_browser->heard.size(); ++m_read) {
        const QString method = m_browser->heard.at(m_read).section('@', 0, 0) + ' ';
        if (letters.contains(method))
            sent += letters.mid(letters.indexOf(method) + method.size(), 1);
    }
    return sent;
}

void BrowserMachinesTest::windowEvent(const QString& what, const QString& url)
{
    const QHash<QString, std::pair<QString, QJsonObject>> ofPage{
        {"stop", {"Page.frameStoppedLoading", {{"frameId", "T"}}}},
        {"paint", {"Page.lifecycleEvent", {{"frameId", "T"}, {"name", "firstPaint"}}}},
        {"restore",
         {"Page.frameNavigated",
          {{"type", "BackForwardCacheRestore"}, {"frame", QJsonObject{{"id", "T"}}}}}}};
    if (what == "commit") {
        m_browser->send("Target.targetInfoChanged",
                        {{"targetInfo", QJsonObject{{"targetId", "T"}, {"url", url}}}});
        // Each commit a document of its own, whatever its address.
        static int documents = 0;
        m_browser->send(
            "Page.frameNavigated",
            {{"frame", QJsonObject{{"id", "T"}, {"loaderId", QString::number(++documents)}}}}, "S");
    } else if (what == "crash")
        m_browser->send("Target.targetCrashed", {{"targetId", "T"}});
    else
        m_browser->send(ofPage[what].first, ofPage[what].second, "S");
}

void BrowserMachinesTest::stepLeavesAPageThatHoldsIt_data()
{
    // After a first step, in turn: "@" the second ("@prerender" one shown from a prerender that
    // the browser has ready); the browser's "answer" to the last question, its event ("commit" of
    // the page, "crash", "dialog", "activate" of the prerender); "+MS" pass. sent: what the
    // program sends, in order: Navigate, Evaluate, Stop loading, Crash, Handle a dialog; "." a
    // pass, before what it brings.
    QTest::addColumn<QStringList>("browser");
    QTest::addColumn<QString>("sent");
    QTest::newRow("answers") << QStringList{"@",    "answer", "commit", "answer",
                                            "+100", "answer", "+9000"}
                             << "NENE.E.";
    QTest::newRow("never answers")
        << QStringList{"@", "+1999", "+1", "crash", "+9000"} << "NE..SCN.";
    QTest::newRow("holds while left") << QStringList{"@", "answer", "+2000", "crash"} << "NENE.SCN";
    QTest::newRow("crash never reported") << QStringList{"@", "+2000", "+1000"} << "NE.SC.NE";
    QTest::newRow("never commits, answers")
        << QStringList{"@", "answer", "+1900", "answer", "+100", "+1900", "answer"} << "NENE..E.";
    QTest::newRow("next page's dialog")
        << QStringList{"@", "answer", "commit", "dialog", "+9000"} << "NENE.";
    QTest::newRow("dialog open") << QStringList{"dialog", "@", "answer"} << "NHENE";
    // "shown": the window reports its page at http://a/, "@other" a step onto another site.
    QTest::newRow("another site") << QStringList{"shown", "@other", "commit", "answer",
                                                 "+100",  "answer", "+9000"}
                                  << "NNE.E.";
    QTest::newRow("another site never answers")
        << QStringList{"shown", "@other", "+2000", "crash", "+9000"} << "NNE.SCN.";
    QTest::newRow("another site while a question is out")
        << QStringList{"shown", "@", "+1000", "@other", "+1000", "crash"} << "NE.N.SCN";
    // The page left starts its "own" navigation as the step's page is about to commit, and the
    // browser commits it after the step's ("own commit").
    QTest::newRow("page left navigates itself as the step commits")
        << QStringList{"@", "answer", "own", "commit", "own commit", "answer"} << "NENEENE";
    QTest::newRow("page left commits its own before the step's")
        << QStringList{"@", "answer", "own", "own commit", "answer", "+100", "answer", "+100"}
        << "NENE.E.E";
    QTest::newRow("prerender shown")
        << QStringList{"@prerender", "answer", "activate", "+9000"} << "NE.";
    QTest::newRow("prerender never shown")
        << QStringList{"@prerender", "answer", "+1999",  "+1",   "commit",
                       "answer",     "+100",   "answer", "+9000"}
        << "NE..NE.E.";
}

void BrowserMachinesTest::stepLeavesAPageThatHoldsIt()
{
    QFETCH(QStringList, browser);
    m_browser->unanswered = {"Runtime.evaluate", "Page.crash"};
    ShownPage page(connection(), m_chromium->loads(), "T", "S", "about:blank");
    WindowNavigation navigation(connection(), page,
                                [](const QString&, const auto& then) { then(true); });
    const QString letters = "Page.navigate N Runtime.evaluate E Page.stopLoading S Page.crash C "
                            "Page.handleJavaScriptDialog H";
    const QHash<QString, std::pair<QString, QJsonObject>> events{
        {"commit", {"Page.frameNavigated", {{"frame", QJsonObject{{"loaderId", "step"}}}}}},
        {"own", {"Page.frameStartedNavigating", {{"frameId", "T"}, {"loaderId", "own"}}}},
        {"own commit", {"Page.frameNavigated", {{"frame", QJsonObject{{"loaderId", "own"}}}}}},
        {"crash", {"Target.targetCrashed", {{"targetId", "T"}}}},
        {"dialog", {"Page.javascriptDialogOpening", {{"type", "x"}}}}};
    navigation.navigate("http://a/");
    exchange();
    QString sent = sentSince(letters);
    for (const QString& move : browser) {
        if (move == "@")
            navigation.navigate("http://a/b");
        else if (move == "@other")
            navigation.navigate("http://b.example/");
        else if (move == "shown")
            windowEvent("commit", "http://a/");
        else if (move == "@prerender")
            navigation.navigate("http://b/", PrerenderActivation{7, "location.href = 'b'"});
        else if (move.startsWith('+'))
            m_clock->pass(move.toInt()), sent += '.';
        else if (move == "answer")
            m_browser->answer(m_browser->lastId["Runtime.evaluate"]);
        else if (move == "activate")
            page.replace("P", "PS", "http://b/");
        else
            m_browser->send(events[move].first, events[move].second, "S");
        exchange();
        sent += sentSince(letters);
    }
    QTEST(sent, "sent");
}

void BrowserMachinesTest::windowPageHoldsTheLoadAhead_data()
{
    // What the window's page does after the hidden instance was sent on, on its first step or a
    // later one ("=" onto the address on show); "+MS" pass, "ask" the hidden instance for its
    // page (which makes its target).
    QTest::addColumn<bool>("later");
    QTest::addColumn<QStringList>("window");
    QTest::addColumn<int>("heldMs"); // how long the hidden instance's address was held
    for (const bool later : {false, true}) {
        const char* step = later ? "later step, " : "first step, ";
        QTest::addRow("%spaints", step)
            << later << QStringList{"+300", "commit", "+200", "paint"} << 500;
        QTest::addRow("%sloads, never paints", step)
            << later << QStringList{"+500", "commit", "+500", "stop", "+500"} << 1500;
        QTest::addRow("%spage left stops first", step)
            << later << QStringList{"stop", "+2000"} << 2000;
        QTest::addRow("%snever loads", step) << later << QStringList{"+1999", "+1"} << 2000;
        QTest::addRow("%srenderer ends", step) << later << QStringList{"+100", "crash"} << 100;
    }
    QTest::newRow("later step, back-forward cache") << true << QStringList{"+50", "restore"} << 50;
    QTest::newRow("later step, the address on show loads again")
        << true << QStringList{"=", "+500", "commit", "+500", "stop", "+500"} << 1500;
    QTest::newRow("first step, asked meanwhile")
        << false << QStringList{"+500", "ask", "commit", "+500", "paint"} << 1000;
}

void BrowserMachinesTest::windowPageHoldsTheLoadAhead()
{
    QFETCH(bool, later);
    QFETCH(QStringList, window);
    auto visible = WindowBrowser::open(m_chromium, m_chromium->openWindow());
    AheadBrowser hidden(m_chromium);
    QString address = "http://a/";
    if (later) {
        visible->Navigate(address);
        windowEvent("commit", address);
        windowEvent("paint");
        exchange();
        hidden.Navigate("http://x/");
        exchange();
        m_browser->heard.clear();
        m_read = 0;
        if (window.value(0) != "=")
            address = "http://c/";
    }
    visible->Navigate(address);
    hidden.Navigate("http://b/");
    const qint64 start = m_clock->now;
    bool asked = false;
    for (const QString& move : window) {
        exchange();
        // Not even made unless asked: making it takes the browser from the first page as loading
        // would.
        QVERIFY2(m_browser->heard.count("Target.createTarget@") == (later ? 0 : 1 + asked),
                 qPrintable(move));
        QVERIFY2(!m_browser->heard.contains("Page.navigate@HS"), qPrintable(move));
        if (move == "=") {
            continue;
        } else if (move == "ask") {
            hidden.LocationURL();
            asked = true;
        } else if (move.startsWith('+')) {
            m_clock->pass(move.toInt());
        } else {
            windowEvent(move, address);
        }
    }
    exchange();
    QVERIFY(m_browser->heard.contains("Page.navigate@HS"));
    if (!later) {
        QCOMPARE(m_browser->heard.count("Target.createTarget@"), 2);
        const qsizetype guarded = m_browser->heard.indexOf("Fetch.enable@HS");
        QVERIFY(guarded >= 0 && m_browser->heard.indexOf("Page.navigate@HS") > guarded);
    }
    QTEST(int(m_clock->now - start), "heldMs");
}

void BrowserMachinesTest::failedSetUpFailsWhatFollows_data()
{
    // A set-up command that the browser refuses, or never answers, fails the next operation that
    // needs it, and every later one: an instance without its set-up is not fit for use.
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("refused"); // or never answered
    QTest::addColumn<int>("failure");
    QTest::newRow("hidden guard refused") << "Fetch.enable@HS" << true << 429;
    QTest::newRow("hidden guard unanswered") << "Page.enable@HS" << false << 429;
    QTest::newRow("step keys refused") << "Runtime.addBinding@S" << true << 462;
    QTest::newRow("step keys unanswered")
        << "Page.addScriptToEvaluateOnNewDocument@S" << false << 462;
    QTest::newRow("window's address unanswered") << "Target.getTargetInfo" << false << 462;
}

void BrowserMachinesTest::failedSetUpFailsWhatFollows()
{
    QFETCH(QString, command);
    QFETCH(bool, refused);
    QFETCH(int, failure);
    (refused ? m_browser->refused : m_browser->unanswered).insert(command);
    auto visible = WindowBrowser::open(m_chromium, m_chromium->openWindow());
    AheadBrowser hidden(m_chromium);
    visible->watchStepKeys([](StepKey) {});
    const auto failureOf = [](const auto& operation) {
        try {
            operation();
        } catch (const Failure& failure) {
            return failure.number();
        }
        return 0;
    };
    const qint64 start = m_clock->now;
    QCOMPARE(failureOf([&] {
                 hidden.Navigate("http://b/");
                 visible->Navigate("http://a/");
                 visible->LocationURL();
             }),
             failure);
    QCOMPARE(m_clock->now - start, qint64(refused ? 0 : DevToolsConnection::ReplyTimeoutMs));
    QCOMPARE(failureOf([&] { visible->Navigate("http://c/"); }),
             command.startsWith("Target.") ? 0 : failure);
}

// A browser that started but never answers, its first command included: the creation fails
// once the start's time is up and the set-up has had its time to settle, and no later.
void BrowserMachinesTest::browserThatNeverMakesTheWindowFailsCreation()
{
    m_browser->unanswered = {"Target.setDiscoverTargets", "Target.createTarget"};
    connection().postChecked("Target.setDiscoverTargets", {{"discover", true}}, {},
                             FailureNumber::CannotCreateObject);
    int failure = 0;
    try {
        m_chromium->openWindow();
    } catch (const Failure& caught) {
        failure = caught.number();
    }
    QCOMPARE(failure, FailureNumber::CannotCreateObject);
    QCOMPARE(m_clock->now,
             qint64(RunningChromium::StartTimeoutMs + DevToolsConnection::ReplyTimeoutMs));
}

void BrowserMachinesTest::browserEndIsToldOnce_data()
{
    QTest::addColumn<QString>("browser");
    QTest::addColumn<qint64>("toldAt"); // -1: never told
    QTest::newRow("answers") << "answers" << qint64(-1);
    QTest::newRow("hangs with its pipe open")
        << "hangs" << qint64(BrowserEndWatch::AskEveryMs + DevToolsConnection::ReplyTimeoutMs);
    QTest::newRow("ends") << "ends" << qint64(0);
}

// Ten seconds of the browser's life: the questions that an answering browser answered show that
// the watch kept asking.
void BrowserMachinesTest::browserEndIsToldOnce()
{
    QFETCH(QString, browser);
    QFETCH(qint64, toldAt);
    QList<qint64> told;
    BrowserEndWatch watch(
        connection(), [&told, this] { told << m_clock->now; }, nullptr);
    if (browser == "hangs")
        m_browser->unanswered = {"Browser.getVersion"};
    if (browser == "ends") {
        m_clock->browser = nullptr;
        m_browser.reset();
    }
    for (int second = 0; second < 10; ++second) {
        exchange();
        m_clock->pass(BrowserEndWatch::AskEveryMs);
    }
    exchange();
    QCOMPARE(told, toldAt < 0 ? QList<qint64>() : QList<qint64>{toldAt});
    if (m_browser)
        QCOMPARE(sentSince("Browser.getVersion V").size(), browser == "answers" ? 10 : 1);
}

void BrowserMachinesTest::hiddenGuardRefusedLateFailsWhatFollows()
{
    m_browser->refused.insert("Fetch.enable@HS");
    auto visible = WindowBrowser::open(m_chromium, m_chromium->openWindow());
    AheadBrowser hidden(m_chromium);
    visible->Navigate("http://a/");
    hidden.Navigate("http://b/");
    windowEvent("commit", "http://a/");
    windowEvent("paint");
    exchange();
    QVERIFY(m_browser->heard.contains("Fetch.enable@HS"));
    QVERIFY(!m_browser->heard.contains("Page.navigate@HS"));
    try {
        visible->Navigate("http://c/");
        QFAIL("a browser whose hidden instance has no guard is still used");
    } catch (const Failure& failure) {
        QCOMPARE(failure.number(), FailureNumber::CannotCreateObject);
    }
}

void BrowserMachinesTest::firstPageGoesBeforeItsServing()
{
    auto visible = WindowBrowser::open(m_chromium, m_chromium->openWindow());
    visible->watchStepKeys([](StepKey) {});
    visible->Navigate("http://a/");
    visible->Navigate("http://b/");
    exchange();
    const QStringList& heard = m_browser->heard;
    const qsizetype first = heard.indexOf("Page.navigate@S");
    const qsizetype served = heard.indexOf("Fetch.enable@S");
    const qsizetype keys = heard.indexOf("Page.addScriptToEvaluateOnNewDocument@S");
    QVERIFY(0 <= keys && keys < first);
    QVERIFY(first < served && served < heard.lastIndexOf("Page.navigate@S"));
    QCOMPARE(heard.count("Fetch.enable@S"), 1);
}

void BrowserMachinesTest::windowMadeOnItsFirstLinkTakesOverItsLoad_data()
{
    // Made on http://a/, which loads before the steps; its load is theirs only when taken over.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("navigations"); // addresses sent to the window's page
    QTest::newRow("first step onto it") << QStringList{"a"} << 0;
    QTest::newRow("first step onto another") << QStringList{"b"} << 1;
    QTest::newRow("timed first step onto it") << QStringList{"timed a"} << 1;
    QTest::newRow("second step onto it") << QStringList{"a", "a"} << 1;
}

void BrowserMachinesTest::windowMadeOnItsFirstLinkTakesOverItsLoad()
{
    QFETCH(QStringList, steps);
    QFETCH(int, navigations);
    auto visible =
        WindowBrowser::open(m_chromium, m_chromium->openWindow("http://a/"), "http://a/");
    windowEvent("commit", "http://a/");
    windowEvent("stop");
    exchange();
    for (const QString& step : steps) {
        const QString address = "http://" + step.right(1) + '/';
        step.startsWith("timed") ? visible->NavigateUnattended(address)
                                 : visible->Navigate(address);
        m_clock->pass(WindowNavigation::AskEveryMs);
        exchange();
    }
    QCOMPARE(m_browser->heard.count("Page.navigate@S"), navigations);
    bool loaded = false;
    visible->watchPageLoads([&loaded] { loaded = true; });
    QCOMPARE(loaded, navigations == 0);
    // Its documents are served from the kept ones once its page has come, or from a navigation.
    QCOMPARE(m_browser->heard.count("Fetch.enable@S"), navigations);
    windowEvent("paint");
    exchange();
    QCOMPARE(m_browser->heard.count("Fetch.enable@S"), 1);
}

void BrowserMachinesTest::windowIsMovedOnlyOffWhereItStands_data()
{
    QTest::addColumn<QList<double>>("widths"); // set in turn
    QTest::addColumn<int>("moves");            // Browser.setWindowBounds sent
    QTest::newRow("rounded to where it is") << QList<double>{1286.4} << 0;
    QTest::newRow("rounded to elsewhere") << QList<double>{1285.4} << 1;
    // The second answer still shows the width that the first setting changes.
    QTest::newRow("elsewhere and back") << QList<double>{800, 1286} << 2;
}

// A window made in its place keeps its first page still while the toolbar sets its edges.
void BrowserMachinesTest::windowIsMovedOnlyOffWhereItStands()
{
    QFETCH(QList<double>, widths);
    QFETCH(int, moves);
    auto visible = WindowBrowser::open(m_chromium, m_chromium->openWindow(), "about:blank");
    for (const double width : widths)
        visible->setWidth(width);
    exchange();
    QCOMPARE(m_browser->heard.count("Browser.getWindowForTarget@"), widths.size());
    QCOMPARE(m_browser->heard.count("Browser.setWindowBounds@"), moves);
}

void BrowserMachinesTest::copyUnderOtherCookiesIsNeverPrerendered()
{
    const auto visible = WindowBrowser::open(m_chromium, m_chromium->openWindow());
    KeptDocuments& kept = m_chromium->ahead().keptDocuments();
    m_chromium->ahead().navigate("http://a/account", "HS");
    kept.keep("http://a/account", "GET", 200, "OK", {}, "account");
    kept.noteCookies("http://a/account", {{"user", {"alice"}}}); // the browser has none now
    windowEvent("stop");
    exchange();
    QVERIFY(!m_browser->heard.contains("Page.createIsolatedWorld@S"));
}

QTEST_GUILESS_MAIN(BrowserMachinesTest)
#include "test_browser_machines.moc"

void BrowserMachinesTest::timedStepPassesOverWhatDoesNotLoad_data()
{
    // What the timed step's link brings: "download", an answer "NNN" with that status, "load" its
    // page, "input" the user's own in the page. why: how it was passed over, if it was;
    // givenBack: whether the profile may save downloads again after it.
    QTest::addColumn<QStringList>("link");
    QTest::addColumn<QString>("why");
    QTest::addColumn<bool>("givenBack");
    QTest::newRow("a download") << QStringList{"download"} << "a download" << false;
    QTest::newRow("a download, then the user")
        << QStringList{"download", "input"} << "a download" << true;
    QTest::newRow("a server error")
        << QStringList{"503"} << "a link that did not load (the server answered 503)" << false;
    QTest::newRow("a page") << QStringList{"200", "load"} << "" << true;
    QTest::newRow("a download after the page came")
        << QStringList{"load", "download"} << "" << true;
}

void BrowserMachinesTest::timedStepPassesOverWhatDoesNotLoad()
{
    QFETCH(QStringList, link);
    QFETCH(QString, why);
    QFETCH(bool, givenBack);
    auto visible = WindowBrowser::open(m_chromium, m_chromium->openWindow());
    QStringList passedOver;
    visible->watchPassedOver(
        [&passedOver](const QString& url, const QString& reason) { passedOver << url << reason; });
    visible->watchUserInput([] {});
    visible->NavigateUnattended("http://a/");
    exchange();
    const QStringList& heard = m_browser->heard;
    QCOMPARE(heard.count("Browser.setDownloadBehavior@"), 1);
    const QJsonObject request{{"url", "http://a/"}, {"method", "GET"}};
    for (const QString& event : link) {
        if (event == "download")
            m_browser->send("Page.downloadWillBegin", {{"frameId", "T"}}, "S");
        else if (event == "load")
            m_browser->send("Page.loadEventFired", {}, "S");
        else if (event == "input")
            m_browser->send("Runtime.bindingCalled",
                            {{"name", "quillonStepKey"}, {"payload", "input"}}, "S");
        else
            m_browser->send("Fetch.requestPaused",
                            {{"requestId", "R"},
                             {"frameId", "T"},
                             {"request", request},
                             {"responseStatusCode", event.toInt()}},
                            "S");
        exchange();
    }
    QCOMPARE(passedOver, why.isEmpty() ? QStringList() : (QStringList{"http://a/", why}));
    // A failed answer is dropped, so that the page before stays; any other goes on.
    QCOMPARE(heard.contains("Fetch.failRequest@S"), why.contains("server"));
    QCOMPARE(heard.contains("Fetch.continueRequest@S"), link.contains("200"));
    QCOMPARE(heard.count("Browser.setDownloadBehavior@"), 1 + int(givenBack));
}
