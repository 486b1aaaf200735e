#pragma once
// The icon-only caption buttons (close, minimize) of the program's self-drawn windows.

#include <QString>
#include <QWidget>

namespace corvane {

// Gives a template button its caption look: the band colour as background, the normal icon,
// the hover icon while the mouse is over it, and a tooltip.
void SetUpCaptionButton(QWidget* button, int hoverIcon, int normalIcon, const QString& tooltip);

}  // namespace corvane
