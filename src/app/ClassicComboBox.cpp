#include "app/ClassicComboBox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

ClassicComboBox::ClassicComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setMaxVisibleItems(20);
    lineEdit()->installEventFilter(this);
    connect(this, &QComboBox::activated, this, [this] { emit picked(); });
}

void ClassicComboBox::Clear()
{
    const QSignalBlocker blocker(this);
    clear();
    setEditText(QString());
}

void ClassicComboBox::AddItem(const QString& entry)
{
    const QSignalBlocker blocker(this);
    const QString shown = Text();
    addItem(entry);
    // Qt selects the first entry added to an empty list; the shown text must not change.
    if (currentIndex() != -1)
        setCurrentIndex(-1);
    setEditText(shown);
}

QString ClassicComboBox::Text() const
{
    return currentText();
}

void ClassicComboBox::setText(const QString& text)
{
    const QSignalBlocker blocker(this);
    setEditText(text);
}

bool ClassicComboBox::eventFilter(QObject* watched, QEvent* event)
{
    // Enter, and the arrows that step through the entries of a closed list, would otherwise
    // emit activated: keys in the field edit the text and run nothing.
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const bool opensList = keyEvent->modifiers().testFlag(Qt::AltModifier);
        switch (keyEvent->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return !opensList;
        default:
            break;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void ClassicComboBox::wheelEvent(QWheelEvent* event)
{
    // Scrolling over the field is not a pick.
    event->ignore();
}
