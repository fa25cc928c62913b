#include "app/DesktopLayout.h"

#include "app/BrowserShadow.h"
#include "app/TilingWindowManager.h"
#include "platform/Failure.h"
#include "session/Module1.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

using namespace DesktopPlacement;

DesktopLayout::DesktopLayout(QWidget& toolbar, Module1& m)
    : QObject(&toolbar), m_toolbar(toolbar), m(m)
{
    // Whatever changes, the windows are placed once, after the changes that come together.
    m_later.setSingleShot(true);
    m_later.setInterval(0);
    connect(&m_later, &QTimer::timeout, this, [this] {
        placeToolbar();
        placeBrowser();
        keepFloating();
    });
    m_toolbar.installEventFilter(this);
    m_tiling = TilingWindowManager::ofSession(this);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &DesktopLayout::followScreen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &DesktopLayout::placeLater);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &DesktopLayout::placeLater);
    followScreen(QGuiApplication::primaryScreen());
}

DesktopLayout::~DesktopLayout() = default;

void DesktopLayout::followScreen(QScreen* screen)
{
    if (m_screen)
        disconnect(m_screen, nullptr, this, nullptr);
    m_screen = screen;
    if (screen) {
        connect(screen, &QScreen::geometryChanged, this, &DesktopLayout::placeLater);
        connect(screen, &QScreen::availableGeometryChanged, this, &DesktopLayout::placeLater);
    }
    placeLater();
}

Monitor DesktopLayout::monitor() const
{
    if (!m_screen)
        return {QRect(0, 0, 1024, 768), QRect(0, 0, 1024, 768)};
    return {m_screen->geometry(), m_screen->availableGeometry(), m_screen->logicalDotsPerInchX(),
            m_screen->logicalDotsPerInchY()};
}

QRectF DesktopLayout::firstBrowserWindow() const
{
    const Monitor on = monitor();
    return browserDrawn(on, toolbarFrame(on, m_toolbar.height()));
}

// The frame is the window manager's, known only once the window is on the screen: the whole
// window, frame included, spans the free area's width.
void DesktopLayout::placeToolbar()
{
    const QRect frame = m_toolbar.frameGeometry();
    const QRect client = m_toolbar.geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    const QRect wanted =
        toolbarFrame(monitor(), client.height() + margins.top() + margins.bottom());
    if (wanted == m_toolbarAsked && margins == m_frameAsked)
        return;
    m_toolbarAsked = wanted;
    m_frameAsked = margins;
    // A fixed size: tiling window managers float such a window rather than tile it.
    m_toolbar.setFixedSize(wanted.width() - margins.left() - margins.right(), client.height());
    m_toolbar.move(wanted.topLeft());
    m_toolbarTold = 0;
}

void DesktopLayout::followBrowser()
{
    m_browserAsked = QRect();
    m_shadow = BrowserShadow::forProcessGroup(m.MainBrowser->windowProcessGroup());
    if (m_shadow)
        connect(m_shadow.get(), &BrowserShadow::changed, this, &DesktopLayout::placeLater);
    placeBrowserNow();
}

// A browser that went is noticed and started again elsewhere: a placement meanwhile is moot.
void DesktopLayout::placeBrowser()
{
    try {
        placeBrowserNow();
    } catch (const Failure&) {
        m_browserAsked = QRect();
    }
}

// Below where the toolbar's frame is, not where it was asked to be: some window managers place
// windows as they see fit.
void DesktopLayout::placeBrowserNow()
{
    if (!m.MainBrowser)
        return;
    const QRect drawn = browserDrawn(monitor(), m_toolbar.frameGeometry());
    const QRect window = browserWindow(drawn, m_shadow ? m_shadow->extents() : QMargins());
    if (window == m_browserAsked)
        return;
    const QRect before = m_browserAsked;
    m_browserAsked = window;
    placeEdges(window, before);
    m_browserTold = 0;
}

void DesktopLayout::placeEdges(const QRect& window, const QRect& before)
{
    if (before.isNull() || window.top() != before.top())
        m.MainBrowser->setTop(window.top());
    if (before.isNull() || window.left() != before.left())
        m.MainBrowser->setLeft(window.left());
    if (before.isNull() || window.width() != before.width())
        m.MainBrowser->setWidth(window.width());
    if (before.isNull() || window.height() != before.height())
        m.MainBrowser->setHeight(window.height());
}

bool DesktopLayout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_toolbar && event->type() == QEvent::Show && m_toolbar.windowHandle())
        m_toolbar.windowHandle()->installEventFilter(this);
    if (watched == &m_toolbar && (event->type() == QEvent::Move ||
                                  event->type() == QEvent::Resize || event->type() == QEvent::Show))
        placeLater();
    if (watched == m_toolbar.windowHandle() && event->type() == QEvent::Expose && m_tiling &&
        m_toolbar.windowHandle()->isExposed() && !m_toolbarOnScreen) {
        m_toolbarOnScreen = true;
        placeLater();
    }
    return QObject::eventFilter(watched, event);
}

// A tiling window manager takes a window's own requests for floating ones, and centres it: it is
// told where the window goes until it is there, a few times for each place, after the requests
// that the browser makes of it.
void DesktopLayout::keepFloating()
{
    if (!m_tiling)
        return;
    if (m_toolbarOnScreen && m_toolbar.frameGeometry() != m_toolbarAsked &&
        m_toolbarTold++ < MostTold)
        m_tiling->floatAt(quint32(m_toolbar.winId()), m_toolbarAsked);
    if (m_shadow && m_shadow->window() && m_shadow->geometry() != m_browserAsked &&
        m_browserTold++ < MostTold)
        m_tiling->floatAt(m_shadow->window(), m_browserAsked);
}

void DesktopLayout::placeLater()
{
    m_later.start();
}
