#include "support/ScriptedDialogs.h"

void ScriptedDialogs::messageBox(const QString& text, const QString& title, BoxIcon icon)
{
    boxes.append({text, title, icon});
    if (onBox)
        onBox(boxes.constLast());
}

QString ScriptedDialogs::showOpen(const QString& initDir, const QString& filter,
                                  const QString& fileName)
{
    openRequests.append({initDir, filter, fileName});
    return answers.isEmpty() ? QString() : answers.dequeue();
}
