#include "app/ClassicComboBox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

ClassicComboBox::ClassicComboBox(QWidget* parent) : QWidget(parent), m_combo(new QComboBox(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_combo);
    m_combo->setEditable(true);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    m_combo->setCompleter(nullptr);
    m_combo->setMaxVisibleItems(20);
    setFocusPolicy(m_combo->focusPolicy());
    setFocusProxy(m_combo);
    // Keys reach the combo box itself (its line edit's focus proxy), which hands them on to the
    // line edit without passing that one's filters.
    m_combo->installEventFilter(this);
    m_combo->lineEdit()->installEventFilter(this);
    // Installed after the list's own filters, so these see a pick's input first.
    m_combo->view()->installEventFilter(this);
    m_combo->view()->viewport()->installEventFilter(this);
    connect(m_combo, &QComboBox::activated, this, &ClassicComboBox::onActivated);
    connect(m_combo->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& typed) { m_text = typed; });
}

void ClassicComboBox::Clear()
{
    const QSignalBlocker blocker(m_combo);
    m_combo->clear();
    m_text.clear();
    m_combo->setEditText(QString());
}

void ClassicComboBox::AddItem(const QString& entry)
{
    const QSignalBlocker blocker(m_combo);
    m_combo->addItem(listText(entry), entry);
    // Qt selects the first entry added to an empty list; the shown text must not change.
    if (m_combo->currentIndex() != -1)
        m_combo->setCurrentIndex(-1);
    showInField(m_text);
}

QString ClassicComboBox::Text() const
{
    return m_text;
}

void ClassicComboBox::setText(const QString& text)
{
    m_text = text;
    showInField(text);
}

int ClassicComboBox::count() const
{
    return m_combo->count();
}

QString ClassicComboBox::itemText(int index) const
{
    return m_combo->itemData(index).toString();
}

bool ClassicComboBox::listShown() const
{
    return m_combo->view()->isVisible();
}

QString ClassicComboBox::listText(const QString& entry)
{
    if (entry.size() <= ListTextLength)
        return entry;
    return entry.left(ListTextLength - 1) + QChar(0x2026);
}

void ClassicComboBox::showInField(const QString& text)
{
    const QSignalBlocker blocker(m_combo);
    // The line edit keeps as much of it as it can hold.
    m_combo->setEditText(text);
}

bool ClassicComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_combo || watched == m_combo->lineEdit())
        return swallowedInClosedField(event);
    if (!m_delivering && isPickInput(watched, event)) {
        deliverAsPick(watched, event);
        return true;
    }
    return false;
}

// Enter, the arrows that step through the entries of a closed list and the wheel would pick
// an entry nobody chose. Alt with an arrow still opens the list.
bool ClassicComboBox::swallowedInClosedField(const QEvent* event) const
{
    if (event->type() == QEvent::Wheel)
        return true;
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return !key->modifiers().testFlag(Qt::AltModifier);
    default:
        return false;
    }
}

bool ClassicComboBox::isPickInput(const QObject* watched, const QEvent* event) const
{
    const QAbstractItemView* list = m_combo->view();
    if (watched != list && watched != list->viewport())
        return false;
    if (event->type() == QEvent::MouseButtonRelease)
        return static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton;
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

// The open list decides as always whether the input picks its highlighted entry; only while
// that input is delivered does an activation count as the user's pick. Space picks as Enter
// does.
void ClassicComboBox::deliverAsPick(QObject* watched, QEvent* event)
{
    m_delivering = true;
    m_picking = true;
    const auto* key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
    if (key && key->key() == Qt::Key_Space) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, key->modifiers());
        QCoreApplication::sendEvent(watched, &enter);
    } else {
        QCoreApplication::sendEvent(watched, event);
    }
    m_picking = false;
    m_delivering = false;
}

void ClassicComboBox::onActivated(int index)
{
    if (!m_picking || index < 0)
        return;
    m_picking = false;
    setText(itemText(index));
    emit picked();
}
