#pragma once

#include <QRect>
#include <QString>

class QPushButton;
class QWidget;

// Controls at their designed places, given in twips within the window's client area.
namespace Controls {
// Names the control with its designer name and puts it in place.
void place(QWidget* control, const char* name, QRect twips);
// A push button that Enter never clicks for its window: neither default nor auto-default.
QPushButton* addButton(QWidget* window, const char* name, const QString& caption, QRect twips);
} // namespace Controls
