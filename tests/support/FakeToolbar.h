#pragma once

#include "platform/CommonDialog.h"
#include "session/Toolbar.h"

#include <QStringList>

// The toolbar as the commands see it, without a window: the list's text and entries and the
// caption are plain values that a test reads and sets.
class FakeToolbar : public Toolbar
{
public:
    explicit FakeToolbar(Dialogs& dialogs) : dialog(dialogs) {}

    QString shownText() const override { return text; }
    void setShownText(const QString& shown) override { text = shown; }
    void clearList() override
    {
        entries.clear();
        text.clear();
    }
    void addToList(const QString& entry) override { entries << entry; }
    int listCount() const override { return int(entries.size()); }
    void setCaption(const QString& shown) override { caption = shown; }
    CommonDialog& fileDialog() override { return dialog; }

    QString text;
    QStringList entries;
    QString caption;
    CommonDialog dialog;
};
