#pragma once

#include <QString>

enum class BoxIcon { CriticalStop, Exclamation };

// The modal dialogs of the platform: message boxes with an OK button only, and the
// file-open dialog. The program uses Qt's; tests script them.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    virtual void messageBox(const QString& text, const QString& title, BoxIcon icon) = 0;
    // Returns the chosen or typed path, or an empty string when the user closed the dialog
    // without a file. A typed name that does not exist is returned as it stands.
    virtual QString showOpen(const QString& initDir, const QString& filter,
                             const QString& fileName) = 0;
};
