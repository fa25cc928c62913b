#pragma once

#include "platform/Dialogs.h"

// The program's real message boxes and file-open dialog.
class QtDialogs : public Dialogs
{
public:
    void messageBox(const QString& text, const QString& title, BoxIcon icon) override;
    QString showOpen(const QString& initDir, const QString& filter,
                     const QString& fileName) override;

    // "Name (*.ext)|*.ext" pairs as the file-open control takes them, in Qt's form.
    static QStringList nameFilters(const QString& filter);
};
