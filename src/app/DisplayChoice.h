#pragma once

#include <QString>

// Windows are placed by position, which only X11 allows: on a Wayland desktop the program runs
// through XWayland.
namespace DisplayChoice {

// Picks the platform (QT_QPA_PLATFORM): X11 unless another one than Wayland is named. Returns
// the line that says why the program cannot run when there is no X server to run on, else an
// empty text.
QString apply();

} // namespace DisplayChoice
