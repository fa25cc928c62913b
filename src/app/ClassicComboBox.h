#pragma once

#include <QString>
#include <QWidget>

class QComboBox;

// An editable drop-down list that behaves as the toolbar's users know it: adding an entry
// never changes the shown text, typing (Enter included) runs nothing and inserts nothing, and
// only a pick from the dropped-down list emits `picked`, once. The Qt combo box is held, not
// inherited, so that only these operations exist: its own would emit a pick on Enter, on the
// arrow keys and on focus-out whenever the text matches an entry.
class ClassicComboBox : public QWidget
{
    Q_OBJECT
public:
    explicit ClassicComboBox(QWidget* parent = nullptr);

    // Removes every entry and empties the shown text.
    void Clear();
    // Appends an entry; the shown text stays.
    void AddItem(const QString& entry);
    // The shown text whole, also when the field can only show the start of it.
    QString Text() const;
    void setText(const QString& text);
    int count() const;
    // Entry `index` whole, as it was added.
    QString itemText(int index) const;
    // Whether the list is dropped down, the user choosing from it.
    bool listShown() const;

    // An entry as the dropped-down list shows it: a link longer than a reader takes in at a
    // glance is cut, with an ellipsis, so that a huge one neither freezes nor bloats the list.
    static QString listText(const QString& entry);
    static constexpr int ListTextLength = 300;

signals:
    void picked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool swallowedInClosedField(const QEvent* event) const;
    bool isPickInput(const QObject* watched, const QEvent* event) const;
    void deliverAsPick(QObject* watched, QEvent* event);
    void onActivated(int index);
    void showInField(const QString& text);

    QComboBox* m_combo;
    QString m_text;
    // Set while a pick's own input event is delivered to the open list; a pick is counted once.
    bool m_delivering = false;
    bool m_picking = false;
};
