#pragma once

#include "capture/EditedText.h"
#include "session/ModelessDialog.h"

#include <optional>

class QPlainTextEdit;

// "Edit": the whole theme file as text, written back by Process. The dialog keeps to the
// file it was loaded from, and will not overwrite changes made to it meanwhile without
// saying so first.
class Form3 : public ModelessDialog
{
    Q_OBJECT
public:
    explicit Form3(Module1& m);

    void Form_Load() override;
    // The text as the box holds it, every line break as '\n'.
    QString text() const;

    static constexpr int ClientWidthTwips = 9300;
    static constexpr int ClientHeightTwips = 4545;

    QPlainTextEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

private:
    void Command1_Click(); // Process
    void Command2_Click(); // Cancel
    bool changedSinceSeen();
    void warnOfChange();

    QString m_path;
    EditedText m_loaded;
    // The file's bytes as the user last saw or was told of them; empty when it had gone.
    std::optional<QByteArray> m_seen;
};
