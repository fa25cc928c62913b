#include "session/Controls.h"

#include "platform/Twips.h"

#include <QPushButton>

QFont Controls::font()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(7.5);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void Controls::place(QWidget* control, const char* name, QRect twips)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(Twips::toPixels(twips, control->logicalDpiX()));
}

QPushButton* Controls::addButton(QWidget* window, const char* name, const QString& caption,
                                 QRect twips)
{
    auto* button = new QPushButton(caption, window);
    place(button, name, twips);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}
