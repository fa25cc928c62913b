#pragma once

#include "browser/Browser.h"

#include <QObject>
#include <QString>

#include <memory>

class DevToolsConnection;
class RunningBrowser;

// The hidden instance: a target of its own out of sight, in the window's browser and profile,
// and so with the window's HTTP cache, that loads the next link ahead of the user. Its target is
// made when it is first asked to load or to tell its page, and a load asked while the window's
// first page is on its way makes it only once that page has come: making it takes the browser and
// the processor from that page as much as loading would. It has no window to place or show.
class AheadBrowser : public QObject, public Browser
{
public:
    explicit AheadBrowser(std::shared_ptr<RunningBrowser> chromium);

    // Whatever it is told, it has no window to place or show.
    void setVisible(bool /*visible*/) override { requireTarget(); }
    void setTop(double /*pixels*/) override { requireTarget(); }
    void setLeft(double /*pixels*/) override { requireTarget(); }
    void setWidth(double /*pixels*/) override { requireTarget(); }
    void setHeight(double /*pixels*/) override { requireTarget(); }
    void Navigate(const QString& url) override;
    QString LocationURL() override;
    void Quit() override;

    const QString& targetId() const { return m_hiddenTargetId; }
    const QString& sessionId() const { return m_hiddenSessionId; }
    DevToolsConnection& connection();
    RunningBrowser& chromium() { return *m_chromium; }

private:
    void requireTarget() const;
    void makeTarget();
    void startMaking();
    void loadAskedMeanwhile();

    std::shared_ptr<RunningBrowser> m_chromium;
    QString m_hiddenTargetId;
    QString m_hiddenSessionId;
    bool m_making = false;
    QString m_askedMeanwhile; // the load asked before the target was made, until it goes
};
