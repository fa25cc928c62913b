#pragma once

#include <QAbstractNativeEventFilter>
#include <QMargins>
#include <QObject>
#include <QRect>
#include <QSet>

#include <memory>

struct xcb_connection_t;

// The shadow that the browser draws round its window where a compositor runs: the window's
// edges that show nothing of the page, as it declares them (_GTK_FRAME_EXTENTS). Followed as the
// browser's windows map and as the browser changes them, with the window they belong to.
class BrowserShadow : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    // Null when the program does not run on X.
    static std::unique_ptr<BrowserShadow> forProcessGroup(qint64 processGroup);
    ~BrowserShadow() override;

    QMargins extents() const { return m_extents; }
    // The browser's window on show; 0 until it is mapped.
    quint32 window() const { return m_window; }
    // Where that window is on the screen, shadow included.
    QRect geometry() const { return m_geometry; }
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void changed();

private:
    BrowserShadow(xcb_connection_t* connection, quint32 root, qint64 processGroup);
    void look();

    xcb_connection_t* m_connection;
    quint32 m_root;
    qint64 m_processGroup;
    quint32 m_extentsAtom = 0;
    QSet<quint32> m_followed;
    QMargins m_extents;
    quint32 m_window = 0;
    QRect m_geometry;
};
