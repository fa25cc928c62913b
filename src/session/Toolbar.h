#pragma once

#include <QString>

class CommonDialog;

// What the commands need of the main window: the drop-down list of links (its shown text and
// its entries), the caption and the file-open dialog. The toolbar window implements it; a
// test can stand in for it without a window.
class Toolbar
{
public:
    virtual ~Toolbar() = default;

    // The text that the list's field shows, whole.
    virtual QString shownText() const = 0;
    // Shows a text in the field; runs no handler.
    virtual void setShownText(const QString& text) = 0;
    // Removes every entry and empties the shown text.
    virtual void clearList() = 0;
    // Appends an entry; the shown text stays.
    virtual void addToList(const QString& entry) = 0;
    virtual int listCount() const = 0;

    virtual void setCaption(const QString& caption) = 0;
    virtual CommonDialog& fileDialog() = 0;
};
