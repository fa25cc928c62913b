#pragma once

#include "browser/Browser.h"
#include "browser/ahead/RunningBrowser.h"
#include "browser/page/ShownPage.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <memory>

class BrowserEndWatch;
class DevToolsConnection;
class PageLoads;
class StepKeyBinding;
class UnattendedStep;
class WindowNavigation;
class WindowPrerender;

// The visible window: the one window of the browser, driven through its tab. Its parts follow
// the page on show (ShownPage): the navigation that takes the window to a link without waiting
// on the page that it leaves (WindowNavigation), the browser's prerender of the next link
// (WindowPrerender), the step keys and the reports of the user's input (StepKeyBinding), and
// what a timed step's link answers that nobody is there for (UnattendedStep).
class WindowBrowser : public QObject, public Browser
{
public:
    // Attaches to the window's tab `tabId` (RunningChromium::openWindow()), made on
    // `madeOn`; Failure 429 when the browser refuses. The first Navigate() to that address takes
    // over the load under way instead of starting it again.
    static std::unique_ptr<WindowBrowser>
    open(std::shared_ptr<RunningBrowser> chromium, const QString& tabId,
         const QString& madeOn = QStringLiteral("about:blank"));

    void setVisible(bool visible) override;
    void setTop(double pixels) override { placeWindow(QStringLiteral("top"), pixels); }
    void setLeft(double pixels) override { placeWindow(QStringLiteral("left"), pixels); }
    void setWidth(double pixels) override { placeWindow(QStringLiteral("width"), pixels); }
    void setHeight(double pixels) override { placeWindow(QStringLiteral("height"), pixels); }
    void Navigate(const QString& url) override { navigate(url, false); }
    void NavigateBack(const QString& url) override;
    void NavigateUnattended(const QString& url) override { navigate(url, true); }
    QString LocationURL() override;
    void Quit() override;
    void watchStepKeys(std::function<void(StepKey)> pressed) override;
    qint64 windowProcessGroup() const override { return m_chromium->processGroup(); }
    void watchUserInput(std::function<void()> active) override;
    void watchPageLoads(std::function<void()> loaded) override;
    void watchPassedOver(
        std::function<void(const QString& link, const QString& why)> passedOver) override;
    void watchEnd(std::function<void()> gone) override;
    QString whyGone() override { return m_chromium->whyGone(); }

    const ShownPage& page() const { return *m_page; }
    DevToolsConnection& connection() { return m_connection; }
    RunningBrowser& chromium() { return *m_chromium; }

private:
    WindowBrowser(std::shared_ptr<RunningBrowser> chromium, const ShownPage::Tab& tab,
                  QString madeOn);
    bool takeOverFirstLoad(const QString& address, bool unattended);
    void requireTarget() const;
    void placeWindow(const QString& edge, double pixels);
    void navigate(const QString& url, bool unattended);
    void leave(const QString& address);
    void setUpPrerender(const QString& sessionId);
    StepKeyBinding& listener();

    std::shared_ptr<RunningBrowser> m_chromium;
    DevToolsConnection& m_connection;
    PageLoads& m_loads;
    ShownPage* m_page;
    WindowNavigation* m_navigation;
    WindowPrerender* m_prerender;
    UnattendedStep* m_unattended;
    StepKeyBinding* m_stepKeys = nullptr; // once keys or input are watched
    int m_loadEndsBeforeNavigate = 0;
    std::function<void()> m_pageLoaded;
    QString m_madeOn;            // the address that the window was made on, until its first step
    QSet<QString> m_placedEdges; // set since the window was made
    QPointer<BrowserEndWatch> m_endWatch;
};
