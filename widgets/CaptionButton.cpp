#include "widgets/CaptionButton.h"

#include "framework/Dialog.h"

#include <QFile>

namespace corvane {

IconRecord ResourceIcon(int id, QSize size) {
    for (const char* ext : {"svg", "png"}) {
        const QString path = QStringLiteral(":/res/%1.%2").arg(id).arg(QLatin1String(ext));
        if (QFile::exists(path)) return {QIcon(path), size};
    }
    return {};
}

CFlatButton* SetUpCaptionButton(CDialog& dialog, int id, int hoverIcon, int normalIcon,
                                const QString& tooltip) {
    auto* button = new CFlatButton(&dialog);
    if (!button->Attach(dialog, id)) {
        delete button;
        return nullptr;
    }
    const QColor band(30, 144, 225);
    button->SetDrawBorder(false);
    button->SetIcons(ResourceIcon(hoverIcon, kCaptionIconSize),
                     ResourceIcon(normalIcon, kCaptionIconSize));
    button->SetTooltipText(tooltip);
    // An icon is all the button shows; its tooltip says what it does.
    button->setAccessibleName(tooltip);
    button->SetColour(ColourSlot::BackgroundNormal, band);
    button->SetColour(ColourSlot::BackgroundFocus, band);
    button->SetColour(ColourSlot::BackgroundHover, band);
    return button;
}

}  // namespace corvane
