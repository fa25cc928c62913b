#include "capture/CaptureDialogWindow.h"

#include "app/DialogWindow.h"
#include "app/Handler.h"
#include "app/Module1.h"

#include <QCloseEvent>
#include <QPushButton>

CaptureDialogWindow::CaptureDialogWindow(Module1& m, const char* name, const QString& caption,
                                         QSize clientTwips)
    : QWidget(nullptr, dialogWindowFlags), m(m)
{
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsToPixels(clientTwips.width()), twipsToPixels(clientTwips.height()));
}

int CaptureDialogWindow::twipsToPixels(int twips) const
{
    return qRound(twips * logicalDpiX() / 1440.0);
}

void CaptureDialogWindow::place(QWidget* control, const char* name, QRect twips)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(twipsToPixels(twips.x()), twipsToPixels(twips.y()),
                         twipsToPixels(twips.width()), twipsToPixels(twips.height()));
}

QPushButton* CaptureDialogWindow::addButton(const char* name, const QString& caption, QRect twips)
{
    auto* button = new QPushButton(caption, this);
    place(button, name, twips);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void CaptureDialogWindow::onClick(QPushButton* button, std::function<void()> handler)
{
    connect(button, &QPushButton::clicked, this,
            [this, handler = std::move(handler)] { runHandler(handler); });
}

void CaptureDialogWindow::runHandler(const std::function<void()>& body)
{
    ::runHandler(m, body);
}

void CaptureDialogWindow::Unload()
{
    close();
}

void CaptureDialogWindow::closeEvent(QCloseEvent* event)
{
    // The deletion comes later; from now on the next command must load a fresh dialog.
    if (m.Form2 == this)
        m.Form2 = nullptr;
    if (m.Form3 == this)
        m.Form3 = nullptr;
    event->accept();
}
