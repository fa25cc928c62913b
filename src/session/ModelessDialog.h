#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class Module1;
class QPushButton;

// What Form2, Form3 and Form4 share: a fixed client area laid out in twips, a modeless window
// without an owner, buttons that are never default (so Enter and Escape click nothing), and
// handlers that run through the program's handler wrapper. Closing it, by a button or
// through the window frame, unloads it and does nothing else: the next command loads it
// afresh.
class ModelessDialog : public QWidget
{
    Q_OBJECT
public:
    // `slot`: where the shared state keeps the open dialog of this kind.
    ModelessDialog(Module1& m, QPointer<QWidget>& slot, const char* name, const QString& caption,
                   QSize clientTwips);

    // Runs once, before the dialog is first shown. A failure leaves the dialog to be thrown
    // away by the caller.
    virtual void Form_Load() = 0;

    // Brings the open dialog of `slot` to the front, or loads one made by `make` and shows it.
    // A dialog whose load fails is never shown and does not stay loaded.
    static void showOrRaise(QPointer<QWidget>& slot,
                            const std::function<std::unique_ptr<ModelessDialog>()>& make);

protected:
    void place(QWidget* control, const char* name, QRect twips);
    QPushButton* addButton(const char* name, const QString& caption, QRect twips);
    void onClick(QPushButton* button, std::function<void()> handler);
    void runHandler(const std::function<void()>& body);
    // Closes the dialog; it is deleted once control is back in the event loop.
    void Unload();
    void closeEvent(QCloseEvent* event) override;

    Module1& m;

private:
    static void bringToFront(QWidget* window);

    QPointer<QWidget>& m_slot;
};
