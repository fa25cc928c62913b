#pragma once

#include <QWidget>

#include <functional>

class Module1;
class QPushButton;

// What Form2 and Form3 share: a fixed client area laid out in twips, a modeless window
// without an owner, buttons that are never default (so Enter and Escape click nothing), and
// handlers that run through the program's handler wrapper. Closing it, by a button or
// through the window frame, unloads it and does nothing else.
class CaptureDialogWindow : public QWidget
{
    Q_OBJECT
public:
    CaptureDialogWindow(Module1& m, const char* name, const QString& caption, QSize clientTwips);

    // Runs once, before the dialog is first shown. A failure leaves the dialog to be thrown
    // away by the caller.
    virtual void Form_Load() = 0;

    int twipsToPixels(int twips) const;

protected:
    void place(QWidget* control, const char* name, QRect twips);
    QPushButton* addButton(const char* name, const QString& caption, QRect twips);
    void onClick(QPushButton* button, std::function<void()> handler);
    void runHandler(const std::function<void()>& body);
    // Closes the dialog; it is deleted once control is back in the event loop.
    void Unload();
    void closeEvent(QCloseEvent* event) override;

    Module1& m;
};
