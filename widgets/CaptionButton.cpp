#include "widgets/CaptionButton.h"

#include "framework/Dialog.h"

#include <QEvent>
#include <QPushButton>

namespace corvane {
namespace {

// Swaps the icon on hover; lives as a child of the button.
class HoverIcon : public QObject {
public:
    HoverIcon(QPushButton* button, QIcon normal, QIcon hover)
        : QObject(button), button_(button), normal_(std::move(normal)), hover_(std::move(hover)) {
        button->installEventFilter(this);
        button->setIcon(normal_.isNull() ? hover_ : normal_);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Enter) button_->setIcon(hover_);
        if (e->type() == QEvent::Leave) button_->setIcon(normal_.isNull() ? hover_ : normal_);
        return false;
    }

private:
    QPushButton* button_;
    QIcon normal_;
    QIcon hover_;
};

}  // namespace

void SetUpCaptionButton(QWidget* widget, int hoverIcon, int normalIcon, const QString& tooltip) {
    auto* button = qobject_cast<QPushButton*>(widget);
    if (!button) return;
    button->setFlat(true);
    button->setAutoFillBackground(true);
    QPalette pal = button->palette();
    pal.setColor(QPalette::Button, QColor(30, 144, 225));
    button->setPalette(pal);
    button->setStyleSheet(QStringLiteral("QPushButton { background: rgb(30,144,225); border: none; }"));
    button->setIconSize(QSize(16, 16));
    new HoverIcon(button, QIcon(ResourcePixmap(normalIcon, QSize(32, 32))),
                  QIcon(ResourcePixmap(hoverIcon, QSize(32, 32))));
    button->setToolTip(tooltip);
}

}  // namespace corvane
