#pragma once

#include "platform/DesktopPlacement.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <memory>

class BrowserShadow;
class Module1;
class QScreen;
class TilingWindowManager;
class QWidget;

// Keeps the toolbar across the top of the primary monitor's free area and the browser's page
// below it, never under it, as the desktop changes: monitors and resolutions, panels, the frame
// that the window manager puts round the toolbar and the shadow that the browser draws.
class DesktopLayout : public QObject
{
    Q_OBJECT
public:
    DesktopLayout(QWidget& toolbar, Module1& m);
    ~DesktopLayout() override;

    // Where the browser's window is made, before either window is on the screen.
    QRectF firstBrowserWindow() const;
    // Places the toolbar, before it is first shown.
    void placeToolbar();
    // After a browser was made: places its window, and again whenever the desktop changes. A
    // browser that refuses the first placement throws.
    void followBrowser();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DesktopPlacement::Monitor monitor() const;
    void followScreen(QScreen* screen);
    void placeLater();
    void keepFloating();
    void placeBrowser();
    void placeBrowserNow();
    void placeEdges(const QRect& window, const QRect& before);

    QWidget& m_toolbar;
    Module1& m;
    QTimer m_later;
    QPointer<QScreen> m_screen;
    std::unique_ptr<BrowserShadow> m_shadow;
    QRect m_toolbarAsked;
    QMargins m_frameAsked;
    QRect m_browserAsked;
    TilingWindowManager* m_tiling = nullptr;
    static constexpr int MostTold = 4;
    bool m_toolbarOnScreen = false;
    int m_toolbarTold = 0;
    int m_browserTold = 0;
};
