#pragma once

#include <QComboBox>

// An editable drop-down list that behaves as the toolbar's users know it: adding an entry
// never changes the shown text, typing (Enter included) runs nothing and inserts nothing, and
// only a pick from the dropped-down list emits `picked`.
class ClassicComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ClassicComboBox(QWidget* parent = nullptr);

    void Clear();
    void AddItem(const QString& entry);
    QString Text() const;
    void setText(const QString& text);

signals:
    void picked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
