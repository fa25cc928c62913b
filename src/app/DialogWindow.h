#pragma once

#include <Qt>

// The modeless dialogs are windows of their own, without an owner: a dialog-type window
// without a parent would still be tied to the toolbar by the X11 window manager. A title and
// a close control only, as their fixed size wants.
constexpr Qt::WindowFlags dialogWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
