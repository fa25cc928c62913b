#pragma once

#include <QWidget>

class Module1;
class QLabel;
class QLineEdit;
class QPushButton;

// "Create New Theme File": the modeless dialog of the New button. A plain window rather than a
// QDialog, so that Enter reaches no default button (Create It would run twice) and Escape
// closes nothing. It deletes itself when closed.
class Form4 : public QWidget
{
    Q_OBJECT
public:
    // Loads and shows the dialog, or brings the open one to the front.
    static void showFor(Module1& m);

    static constexpr int ClientWidthTwips = 6690;
    static constexpr int ClientHeightTwips = 1560;

    QLabel* Label2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    explicit Form4(Module1& m);

    QRect pixels(QRect twips) const;
    QLabel* addLabel(const char* name, const QString& caption, QRect twips);
    QPushButton* addButton(const char* name, const QString& caption, QRect twips);
    void layOut();
    void connectHandlers();

    void Form_Load();
    void Command1_Click(); // Create It
    void Command2_Click(); // Cancel
    void completeExtension();

    Module1& m;
};
