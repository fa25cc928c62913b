#pragma once

#include "platform/CommonDialog.h"
#include "session/ThemeDocument.h"
#include "session/Toolbar.h"

#include <QObject>
#include <QStringList>

// The toolbar as the commands see it, without a window: the list's text and entries and the
// caption are plain values that a test reads and sets, filled from the open theme file as the
// toolbar window fills its own.
class FakeToolbar : public QObject, public Toolbar
{
public:
    explicit FakeToolbar(Dialogs& dialogs) : dialog(dialogs) {}

    void follow(const ThemeDocument& theme)
    {
        connect(&theme, &ThemeDocument::listCleared, this, [this] {
            entries.clear();
            text.clear();
        });
        connect(&theme, &ThemeDocument::linksAppended, this,
                [this](const QStringList& links) { entries << links; });
        connect(&theme, &ThemeDocument::captionChanged, this,
                [this](const QString& shown) { caption = shown; });
    }

    QString shownText() const override { return text; }
    void setShownText(const QString& shown) override { text = shown; }
    CommonDialog& fileDialog() override { return dialog; }
    int listCount() const { return int(entries.size()); }

    QString text;
    QStringList entries;
    QString caption;
    CommonDialog dialog;
};
