#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QPushButton;
class QWidget;

// Controls at their designed places, given in twips within the window's client area.
namespace Controls {
// The font of the toolbar's and the dialogs' controls, set on their windows. The designed
// buttons are 17 and 33 pixels high at 96 dpi, "Corvane" has 49 pixels: DejaVu Sans (installed
// with the font configuration itself) at 7.5 points, fully hinted, fits every caption with a
// margin at 96 and 192 dpi, where the desktop's default font runs over or touches the frames.
QFont font();

// Names the control with its designer name and puts it in place.
void place(QWidget* control, const char* name, QRect twips);
// A push button that Enter never clicks for its window: neither default nor auto-default.
QPushButton* addButton(QWidget* window, const char* name, const QString& caption, QRect twips);
} // namespace Controls
