#pragma once
// The icon-only caption buttons (close, minimize) of the program's self-drawn windows.

#include "widgets/CFlatButton.h"

#include <QString>

namespace corvane {

class CDialog;

// The caption buttons' icons are drawn for 16 x 16 and scale with the screen.
constexpr QSize kCaptionIconSize(16, 16);

// Icon resource id as an icon of the given size; unset when there is no such resource.
IconRecord ResourceIcon(int id, QSize size);

// Puts a CFlatButton on template button id of dialog with the caption look: flat, no border,
// normalIcon (hoverIcon while the mouse is over it), the tooltip (also its accessible name),
// and the band colour as its face in every state. The dialog owns the button; null when there
// is no such button.
CFlatButton* SetUpCaptionButton(CDialog& dialog, int id, int hoverIcon, int normalIcon,
                                const QString& tooltip);

}  // namespace corvane
