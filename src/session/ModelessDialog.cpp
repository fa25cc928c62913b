#include "session/ModelessDialog.h"

#include "platform/Twips.h"
#include "session/Controls.h"
#include "session/Handler.h"

#include <QCloseEvent>
#include <QPushButton>

namespace {
// Windows of their own, without an owner: a dialog-type window without a parent would still
// be tied to the toolbar by the X11 window manager. A title and a close control only, as
// their fixed size wants.
constexpr Qt::WindowFlags ownerlessWindow =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
} // namespace

ModelessDialog::ModelessDialog(Module1& m, QPointer<QWidget>& slot, const char* name,
                               const QString& caption, QSize clientTwips)
    : QWidget(nullptr, ownerlessWindow), m(m), m_slot(slot)
{
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(Controls::font());
    setFixedSize(Twips::toPixels(QRect(QPoint(), clientTwips), logicalDpiX()).size());
}

void ModelessDialog::showOrRaise(QPointer<QWidget>& slot,
                                 const std::function<std::unique_ptr<ModelessDialog>()>& make)
{
    if (slot) {
        bringToFront(slot);
        return;
    }
    std::unique_ptr<ModelessDialog> loading = make();
    loading->Form_Load();
    slot = loading.release();
    bringToFront(slot);
}

void ModelessDialog::bringToFront(QWidget* window)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->QWidget::show();
    window->raise();
    window->activateWindow();
}

void ModelessDialog::place(QWidget* control, const char* name, QRect twips)
{
    Controls::place(control, name, twips);
}

QPushButton* ModelessDialog::addButton(const char* name, const QString& caption, QRect twips)
{
    return Controls::addButton(this, name, caption, twips);
}

void ModelessDialog::onClick(QPushButton* button, std::function<void()> handler)
{
    connect(button, &QPushButton::clicked, this,
            [this, handler = std::move(handler)] { runHandler(handler); });
}

void ModelessDialog::runHandler(const std::function<void()>& body)
{
    ::runHandler(m, body);
}

void ModelessDialog::Unload()
{
    close();
}

void ModelessDialog::closeEvent(QCloseEvent* event)
{
    // The deletion comes later; from now on the next command must load a fresh dialog.
    if (m_slot == this)
        m_slot = nullptr;
    event->accept();
}
