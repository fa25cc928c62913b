#include "app/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

void QtDialogs::messageBox(const QString& text, const QString& title, BoxIcon icon)
{
    QMessageBox box(icon == BoxIcon::Exclamation ? QMessageBox::Warning : QMessageBox::Critical,
                    title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

QStringList QtDialogs::nameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts.at(i);
    return filters;
}

// The three texts are the file-open control's InitDir, Filter and FileName, in that order.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
QString QtDialogs::showOpen(const QString& initDir, const QString& filter, const QString& fileName)
{
    // Qt's own dialog in AnyFile mode lets a typed name through that does not exist, so the
    // program's own check is what the user meets; a desktop's chooser would refuse it itself.
    QFileDialog dialog(QApplication::activeWindow(), QString(), initDir);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(nameFilters(filter));
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
