#pragma once

#include <QString>

class CommonDialog;

// What the commands need of the main window: the text that the drop-down list of links shows
// and the file-open dialog. The toolbar window implements it, and fills the list and its
// caption from the open theme file's signals; a test can stand in for it without a window.
class Toolbar
{
public:
    virtual ~Toolbar() = default;

    // The text that the list's field shows, whole.
    virtual QString shownText() const = 0;
    // Shows a text in the field; runs no handler.
    virtual void setShownText(const QString& text) = 0;

    virtual CommonDialog& fileDialog() = 0;
};
