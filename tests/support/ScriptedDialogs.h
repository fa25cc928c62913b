#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QQueue>
#include <QStringList>

// Records every message box and answers every file-open dialog from a queue.
class ScriptedDialogs : public Dialogs
{
public:
    struct Box
    {
        QString text;
        QString title;
        BoxIcon icon;
    };
    struct OpenRequest
    {
        QString initDir;
        QString filter;
        QString fileName;
    };

    void messageBox(const QString& text, const QString& title, BoxIcon icon) override;
    QString showOpen(const QString& initDir, const QString& filter,
                     const QString& fileName) override;

    // The next answers of the file-open dialog; an empty string is a cancel.
    void answerOpen(const QString& path) { answers.enqueue(path); }

    QList<Box> boxes;
    QList<OpenRequest> openRequests;
    QQueue<QString> answers;
    // Runs while a box is "open", as a user's other actions would.
    std::function<void(const Box&)> onBox;
};
