#pragma once

#include <QString>

class Dialogs;

// The file-open dialog control: set its properties, call ShowOpen, read FileName.
// Cancelling leaves FileName as it was set and raises nothing.
class CommonDialog
{
public:
    explicit CommonDialog(Dialogs& dialogs) : m_dialogs(dialogs) {}

    QString InitDir;
    QString Filter;
    QString FileName;

    void ShowOpen();

private:
    Dialogs& m_dialogs;
};
