// The step keys from the X server, pressed with real input into the real browser's window.
#include "BrowserPair.h"
#include "LocalHttpServer.h"
#include "app/StepKeyGrab.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {
// Each page tells the server once it has loaded, then hangs as its path says.
HttpResponse respond(const QString& path)
{
    const QByteArray hang = path == QLatin1String("/loop")    ? "for (;;) {}"
                            : path == QLatin1String("/alert") ? "alert('hung')"
                                                              : "";
    HttpResponse response;
    response.body = "<script>onload = () => setTimeout(() => { const x = new XMLHttpRequest();"
                    "x.open('GET', '/ready' + location.pathname, false); x.send(); " +
                    hang + " })</script>";
    return response;
}
} // namespace

class TestStepKeyGrab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (const QString why = browserTestUnavailable(m_home.path()); !why.isEmpty())
            QSKIP(qPrintable(why));
        m_server = std::make_unique<LocalHttpServer>(respond);
        m_pair.emplace(std::make_unique<ChromiumBrowserFactory>());
        const auto record = [this](StepKey key) { m_pressed << key; };
        m_pair->main->watchStepKeys(record);
        m_grab = StepKeyGrab::forProcessGroup(m_pair->main->windowProcessGroup(), record);
        QVERIFY(m_grab);
    }
    void cleanupTestCase()
    {
        m_grab.reset();
        m_pair.reset();
    }

    // The hung pages come last: nothing after them has to leave them.
    void keysStepOnceFromAnyPage_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QList<StepKey>>("stepped");
        const auto row = [](const char* name, const char* path, const char* keys,
                            const QList<StepKey>& stepped) {
            QTest::newRow(name) << QString::fromLatin1(path) << QString::fromLatin1(keys)
                                << stepped;
        };
        row("page", "/page", "key F9", {StepKey::Right});
        row("with Ctrl", "/page", "key ctrl+F9", {});
        row("with Shift", "/page", "key shift+F8", {});
        row("held down", "/page", "keydown F9 sleep 1.5 keyup F9", {StepKey::Right});
        row("address bar", "/page", "key ctrl+l sleep 0.3 key F8", {StepKey::Left});
        row("alert", "/alert", "key F8", {StepKey::Left});
        row("endless loop", "/loop", "key F9", {StepKey::Right});
    }
    void keysStepOnceFromAnyPage()
    {
        QFETCH(QString, path);
        QFETCH(QString, keys);
        QFETCH(QList<StepKey>, stepped);
        const QString ready = QStringLiteral("/ready") + path;
        const int readyBefore = m_server->requestCount(ready);
        m_pair->main->Navigate(m_server->url(path));
        QTRY_VERIFY_WITH_TIMEOUT(m_server->requestCount(ready) > readyBefore, 10000);
        const QString window = QString::fromLatin1(visibleBrowserWindows().value(0));
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"),
                                                               QStringLiteral("--sync"), window}),
                 0);
        m_pressed.clear();
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), keys.split(QLatin1Char(' '))), 0);
        // Compared element by element: Qt's own list comparison hands memcmp a null pointer for
        // two empty lists, which the undefined-behaviour check refuses.
        const auto pressedAsStepped = [&] {
            return std::equal(m_pressed.cbegin(), m_pressed.cend(), stepped.cbegin(), stepped.cend());
        };
        QTRY_VERIFY_WITH_TIMEOUT(pressedAsStepped(), 10000);
        // No second step, from the page or a repeat.
        QTest::qWait(1000);
        QVERIFY(pressedAsStepped());
    }

private:
    QTemporaryDir m_home;
    std::unique_ptr<LocalHttpServer> m_server;
    std::optional<BrowserPair> m_pair;
    std::unique_ptr<StepKeyGrab> m_grab;
    QList<StepKey> m_pressed;
};

QTEST_MAIN(TestStepKeyGrab)
#include "test_step_key_grab.moc"
