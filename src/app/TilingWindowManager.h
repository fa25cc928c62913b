#pragma once

#include <QByteArrayList>
#include <QLocalSocket>
#include <QObject>
#include <QRect>

// A tiling window manager (sway, i3) tiles every window that does not ask to float and puts a
// floating one in the middle, whatever position it asks for. Over the manager's own socket, it
// is told to float a window, without a border, where the toolbar's layout puts it.
class TilingWindowManager : public QObject
{
public:
    // Null outside such a session.
    static TilingWindowManager* ofSession(QObject* parent);

    // `window` is an X window; `rect`, the whole of it on the screen.
    void floatAt(quint32 window, const QRect& rect);

private:
    TilingWindowManager(const QString& socketPath, QObject* parent);
    void send();

    QLocalSocket m_socket;
    QByteArrayList m_waiting;
};
