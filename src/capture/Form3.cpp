#include "capture/Form3.h"

#include "capture/CaptureFailure.h"
#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

namespace {
// The file's bytes now, or nothing when it has gone (with its folder or without).
std::optional<QByteArray> contentNow(const QString& path)
{
    try {
        return FileStore::read(path);
    } catch (const Failure& failure) {
        if (failure.number() == FailureNumber::FileNotFound ||
            failure.number() == FailureNumber::PathNotFound)
            return std::nullopt;
        throw;
    }
}
} // namespace

Form3::Form3(Module1& m)
    : ModelessDialog(m, m.Form3, "Form3", QStringLiteral("Edit"),
                     {ClientWidthTwips, ClientHeightTwips})
{
    Text1 = new QPlainTextEdit(this);
    place(Text1, "Text1", {120, 240, 9015, 3255});
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setTabChangesFocus(true);
    Command1 = addButton("Command1", QStringLiteral("Process"), {2880, 3720, 1215, 495});
    Command2 = addButton("Command2", QStringLiteral("Cancel"), {5040, 3720, 1215, 495});
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);

    onClick(Command1, [this] { Command1_Click(); });
    onClick(Command2, [this] { Command2_Click(); });
}

void Form3::Form_Load()
{
    m_path = m.theme().ThemeFile();
    m.WriteLogLine(QStringLiteral(" User edits ") + m_path);
    setWindowTitle(windowTitle() + QLatin1Char(' ') + m_path);
    const QByteArray content = FileStore::read(m_path);
    m_seen = content;
    m_loaded = EditedText(content);
    Text1->setPlainText(m_loaded.boxText());
}

QString Form3::text() const
{
    // The raw text keeps no-break spaces, which the plain text would turn into blanks.
    QString text = Text1->document()->toRawText();
    for (QChar& character : text) {
        if (character == QChar::ParagraphSeparator || character == QChar::LineSeparator)
            character = QLatin1Char('\n');
    }
    return text;
}

void Form3::Command1_Click()
{
    try {
        if (changedSinceSeen()) {
            warnOfChange();
            return;
        }
        m.theme().Rewrite(m_path, m_loaded.fileBytes(text()));
    } catch (const Failure& failure) {
        // The file keeps its content and the dialog the user's text.
        reportAddFailure(m, failure.number(), m_path);
        return;
    }
    m.WriteLogLine(QStringLiteral(" Successfully processed edit job"));
    Unload();
}

// A change is told once: the next Process writes over it.
bool Form3::changedSinceSeen()
{
    std::optional<QByteArray> now = contentNow(m_path);
    if (now == m_seen)
        return false;
    m_seen = std::move(now);
    return true;
}

void Form3::warnOfChange()
{
    m.platform.dialogs.messageBox(
        QStringLiteral("This theme file has changed since the edit began.  Nothing was written."
                       "  Click Process again to replace it with your text."),
        QStringLiteral("File Changed"), BoxIcon::CriticalStop);
    m.WriteLogLine(QStringLiteral(" Edit job held back, file changed on disk: ") + m_path);
}

void Form3::Command2_Click()
{
    m.WriteLogLine(QStringLiteral(" User cancels the edit job.  No changes were recorded"));
    Unload();
}
