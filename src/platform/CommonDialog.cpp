#include "platform/CommonDialog.h"

#include "platform/Dialogs.h"

void CommonDialog::ShowOpen()
{
    const QString chosen = m_dialogs.showOpen(InitDir, Filter, FileName);
    if (!chosen.isEmpty())
        FileName = chosen;
}
