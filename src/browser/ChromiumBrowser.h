#pragma once

#include "browser/Browser.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>

class ChromiumConnection;
class StepKeyBinding;
class WindowNavigation;
class WindowPrerender;

// An instance in the system's Chromium: the tab of its window, or a hidden target that shares
// the window's profile and so its HTTP cache.
class ChromiumBrowser : public Browser
{
public:
    enum class Kind { Window, Hidden };

    // A hidden instance may come without a target yet (empty ids): it is made on first use.
    ChromiumBrowser(std::shared_ptr<ChromiumConnection> connection, Kind kind, QString targetId,
                    QString sessionId);
    ~ChromiumBrowser() override;

    void setVisible(bool visible) override;
    void setTop(double pixels) override;
    void setLeft(double pixels) override;
    void setWidth(double pixels) override;
    void setHeight(double pixels) override;
    void Navigate(const QString& url) override;
    void NavigateBack(const QString& url) override;
    void NavigateUnattended(const QString& url) override;
    QString LocationURL() override;
    void Quit() override;
    void watchStepKeys(std::function<void(StepKey)> pressed) override;
    qint64 windowProcessGroup() const override;
    void watchUserInput(std::function<void()> active) override;
    void watchPageLoads(std::function<void()> loaded) override;
    void watchPassedOverDownloads(std::function<void(const QString& link)> passedOver) override;

    // For tests and benchmarks: waitForLoadEvent() waits until the page that the last Navigate
    // started has fired its load event, once watchLoadEvents() has asked the browser to report
    // them (the hidden instance always reports them). The toolbar itself never waits for a page.
    void watchLoadEvents();
    bool waitForLoadEvent(int timeoutMs);
    Kind kind() const { return m_kind; }
    const QString& targetId() const { return m_targetId; }
    const QString& sessionId() const { return m_sessionId; }
    ChromiumConnection& connection() { return *m_connection; }
    // How many renderers of pages on show the window ended because they held a step.
    int endedRenderers() const;

private:
    void requireTarget() const;
    void makeTarget();
    std::optional<int> previousEntryShowing(const QString& address);
    void placeWhenKnown(const std::function<QList<QJsonObject>(const QString& state)>& boundsFor);
    void placeWindow(const QString& edge, double pixels);
    void listenInPages();
    void navigate(const QString& url, bool unattended);
    void listenToPageEvents();
    void handlePageEvent(const QJsonObject& event);
    void refuseDownloads(bool refuse);
    void endUnattended();
    void passOverDownload();
    void setUpPrerender(const QString& sessionId);
    void followPage(const QString& targetId, const QString& sessionId, const QString& url);

    std::shared_ptr<ChromiumConnection> m_connection;
    Kind m_kind;
    QString m_targetId;
    QString m_sessionId;
    int m_loadEventsBeforeNavigate = 0;
    int m_loadEndsBeforeNavigate = 0;
    std::unique_ptr<StepKeyBinding> m_stepKeys;
    std::function<void(StepKey)> m_stepKeyPressed;
    std::function<void()> m_userActive;
    std::function<void()> m_pageLoaded;
    std::function<void(const QString& link)> m_downloadPassedOver;
    QString m_unattendedLink; // until its page has loaded, or its download was given up
    bool m_refusingDownloads = false;
    int m_pageEventListenerId = 0;
    std::unique_ptr<WindowNavigation> m_navigation; // the window's only
    std::unique_ptr<WindowPrerender> m_prerender;   // the window's only
};
