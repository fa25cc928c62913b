#pragma once

#include "BrowserPair.h"
#include "LoadEventWait.h"
#include "LocalHttpServer.h"
#include "ShiftedClock.h"

#include <QJsonObject>
#include <QObject>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class DevToolsConnection;

// One browser pair for every class of a run, in a home of its own, with the test's server.
struct BrowserFixture
{
    QTemporaryDir home;
    ShiftedClock clock; // the pair's: kept documents age as a test moves it
    QString profileDir;
    std::unique_ptr<LocalHttpServer> server;
    std::optional<BrowserPair> pair;
    QString unavailable; // why no browser can run here
    bool tried = false;
};

// A class of browser tests on the shared pair, with what the cases do to it.
class BrowserTestCase : public QObject
{
    Q_OBJECT

public:
    explicit BrowserTestCase(BrowserFixture& fixture);

private slots:
    // Names the case under way, so that a Failure that escapes it fails it alone (see
    // runTestClasses()).
    void init();

protected:
    // For initTestCase(): the pair is started by the first class that asks for it; the class's
    // cases are skipped where no browser can run.
    void startPair();

    WindowBrowser& mainBrowser() { return m_pair->window(); }
    AheadBrowser& hiddenBrowser() { return m_pair->hiddenBrowser(); }
    // The ends of the window's loads so far: a load event and a main frame's stop each count one.
    int windowLoadEnds();
    QJsonObject windowBounds(WindowBrowser& browser);
    QJsonValue evaluate(WindowBrowser& browser, const QString& expression);
    QJsonValue evaluate(AheadBrowser& browser, const QString& expression);
    static QJsonValue evaluate(DevToolsConnection& connection, const QString& sessionId,
                               const QString& expression);
    void closeOtherPages(DevToolsConnection& connection);
    void pressKeyInWindow(const QString& key, WindowBrowser* window = nullptr);
    // The downloads anywhere in the home, a line each: a failure names them.
    QString strayDownloads() const;
    void loadInHidden(const QString& path);
    static int visibleWindowCount();

    BrowserFixture& m_fixture;
    QTemporaryDir& m_home;
    QString& m_profileDir;
    std::unique_ptr<LocalHttpServer>& m_server;
    std::optional<BrowserPair>& m_pair;
};
