#include "framework/Dialog.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QWindow>

namespace corvane {
namespace {

// Group boxes as the templates were drawn for: the title sits in the frame's top line. A pushed
// toggle button reads clearly as pushed.
const char* const kDialogStyle = R"(
QGroupBox { border: 1px solid rgb(190,190,190); border-radius: 2px; margin-top: 7px; }
QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 7px;
                   padding: 0px 2px; background-color: palette(button); }
QGroupBox::title:disabled { color: palette(mid); }
QPushButton:checked { background-color: rgb(204,228,247); border: 1px solid rgb(0,84,153);
                                border-radius: 2px; }
QPushButton:checked:disabled { background-color: rgb(225,232,238);
                                         border: 1px solid rgb(160,170,180); }
)";

// A push button whose caption wraps onto a second line when it does not fit on one.
class WrappingPushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        p.drawControl(QStyle::CE_PushButton, option);
        p.setPen(palette().color(isEnabled() ? QPalette::ButtonText : QPalette::Mid));
        p.drawText(rect().adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap, caption);
    }
};

}  // namespace

QPixmap ResourcePixmap(int id, QSize size) {
    for (const char* ext : {"svg", "png"}) {
        const QString path = QStringLiteral(":/res/%1.%2").arg(id).arg(QLatin1String(ext));
        if (QFile::exists(path)) return QIcon(path).pixmap(size);
    }
    return {};
}

CDialog::CDialog(const DialogTemplate& t, Clock& clock, QWidget* parent)
    : QWidget(parent),
      templateId_(t.id),
      clock_(clock),
      timers_(clock, [this](int id) { OnTimer(id); }) {
    setFont(DialogFont());
    setStyleSheet(QString::fromLatin1(kDialogStyle));
    units_ = DialogUnits();
    setFixedSize(units_.X(t.width), units_.Y(t.height));
    if (!t.title.isEmpty()) setWindowTitle(t.title);
    installEventFilter(this);
    std::vector<QWidget*> made;
    for (const ControlSpec& control : t.controls) {
        QWidget* w = CreateControl(control);
        made.push_back(w);
        // Given to each control itself: a window that changes its flags after construction
        // (every frameless window here) would otherwise hand its controls the application font.
        w->setFont(font());
        w->installEventFilter(this);
        if (control.style & Style::kHidden) w->hide();
        if (control.style & Style::kDisabled) w->setEnabled(false);
        // Kept for widgets that stand in for the control later (ReplaceItem).
        w->setProperty("templateStyle", control.style);
        if (!control.name.isEmpty()) {
            w->setAccessibleName(control.name);
            // The open list of a drop-down list is a window of its own to a screen reader.
            if (auto* list = qobject_cast<QComboBox*>(w))
                list->view()->setAccessibleName(control.name);
        }
        if (control.id != 0) items_[control.id] = w;
    }
    // A screen reader announces a list by its current entry and reads the label beside it.
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        for (std::size_t j = 0; j < t.controls.size(); ++j) {
            auto* label = qobject_cast<QLabel*>(made[j]);
            if (label && !t.controls[i].name.isEmpty() && t.controls[j].text == t.controls[i].name)
                label->setBuddy(made[i]);
        }
    }
}

CDialog::~CDialog() {
    timers_.KillAll();
}

QWidget* CDialog::CreateControl(const ControlSpec& s) {
    const QRect r = units_.ToPixels(s.x, s.y, s.w, s.h);
    QWidget* w = nullptr;
    switch (s.kind) {
        case ControlKind::PushButton: {
            auto* b = new QPushButton(s.text, this);
            b->setAutoDefault(false);
            connect(b, &QPushButton::clicked, this,
                    [this, id = s.id] { OnCommand(id, Notify::Clicked); });
            w = b;
            break;
        }
        case ControlKind::PushLikeCheck: {
            auto* b = (s.style & Style::kMultiLineText) ? new WrappingPushButton(s.text, this)
                                                        : new QPushButton(s.text, this);
            b->setCheckable(true);
            b->setAutoDefault(false);
            connect(b, &QPushButton::clicked, this,
                    [this, id = s.id] { OnCommand(id, Notify::Clicked); });
            w = b;
            break;
        }
        case ControlKind::CheckBox: {
            auto* b = new QCheckBox(s.text, this);
            connect(b, &QCheckBox::clicked, this,
                    [this, id = s.id] { OnCommand(id, Notify::Clicked); });
            w = b;
            break;
        }
        case ControlKind::Radio: {
            auto* b = new QRadioButton(s.text, this);
            connect(b, &QRadioButton::clicked, this,
                    [this, id = s.id] { OnCommand(id, Notify::Clicked); });
            w = b;
            break;
        }
        case ControlKind::GroupBox:
            w = new QGroupBox(s.text, this);
            break;
        case ControlKind::Text:
        case ControlKind::TextCentred: {
            auto* l = new QLabel(s.text, this);
            l->setAlignment(s.kind == ControlKind::TextCentred ? Qt::AlignHCenter | Qt::AlignTop
                                                               : Qt::AlignLeft | Qt::AlignTop);
            w = l;
            break;
        }
        case ControlKind::Icon:
        case ControlKind::Picture: {
            auto* l = new QLabel(this);
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            // An icon static takes the icon's own size; a picture keeps its template size.
            const QSize size = s.kind == ControlKind::Icon ? QSize(32, 32) : r.size();
            l->setPixmap(ResourcePixmap(s.resource, size));
            l->setGeometry(QRect(r.topLeft(), size));
            l->setProperty("resource", s.resource);
            w = l;
            break;
        }
        case ControlKind::DropList: {
            auto* c = new QComboBox(this);
            c->addItems(s.items);
            connect(c, &QComboBox::activated, this,
                    [this, id = s.id] { OnCommand(id, Notify::SelChange); });
            if (s.style & Style::kSorted) c->setProperty("sorted", true);
            w = c;
            break;
        }
        case ControlKind::Edit: {
            auto* e = new QLineEdit(s.text, this);
            e->setReadOnly(s.style & Style::kReadOnly);
            if (s.style & Style::kDigitsOnly) {
                e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
            }
            w = e;
            break;
        }
        case ControlKind::MultiEdit: {
            auto* e = new QPlainTextEdit(this);
            e->setReadOnly(s.style & Style::kReadOnly);
            e->setUndoRedoEnabled(false);
            w = e;
            break;
        }
        case ControlKind::Progress: {
            auto* p = new QProgressBar(this);
            p->setTextVisible(false);
            p->setRange(0, 100);
            p->setValue(0);
            w = p;
            break;
        }
    }
    if (s.kind == ControlKind::DropList) {
        // A drop-down list's template height includes its open list; the closed box is one line.
        w->setGeometry(r.x(), r.y(), r.width(), units_.Y(12) + 2);
    } else if (s.kind != ControlKind::Icon && s.kind != ControlKind::Picture) {
        w->setGeometry(r);
    }
    return w;
}

QWidget* CDialog::Item(int id) const {
    auto it = items_.find(id);
    return it == items_.end() ? nullptr : it->second;
}

bool CDialog::ReplaceItem(int id, QWidget* replacement) {
    QWidget* old = Item(id);
    if (!old || !replacement || old == replacement) return false;
    const bool explicitlyHidden =
        old->isHidden() && old->testAttribute(Qt::WA_WState_ExplicitShowHide);
    if (replacement->parentWidget() != this) replacement->setParent(this);
    replacement->setGeometry(old->geometry());
    replacement->setEnabled(!old->testAttribute(Qt::WA_Disabled));
    replacement->setProperty("templateStyle", old->property("templateStyle"));
    if (replacement->accessibleName().isEmpty())
        replacement->setAccessibleName(old->accessibleName());
    replacement->stackUnder(old);
    QWidget::setTabOrder(old, replacement);
    replacement->installEventFilter(this);
    if (auto* b = qobject_cast<QAbstractButton*>(replacement)) {
        connect(b, &QAbstractButton::clicked, this, [this, id] { OnCommand(id, Notify::Clicked); });
    }
    if (explicitlyHidden)
        replacement->hide();
    else if (old->isVisible())
        replacement->show();
    items_[id] = replacement;
    delete old;
    return true;
}

void CDialog::SetItemText(int id, const QString& text) {
    QWidget* w = Item(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(text);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(text);
    else if (auto* m = qobject_cast<QPlainTextEdit*>(w))
        m->setPlainText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(text);
    else if (auto* c = qobject_cast<QComboBox*>(w))
        c->setCurrentIndex(c->findText(text));
}

QString CDialog::ItemText(int id) const {
    QWidget* w = Item(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentIndex() < 0 ? QString() : c->currentText();
    return {};
}

void CDialog::CheckItem(int id, bool checked) {
    if (auto* b = qobject_cast<QAbstractButton*>(Item(id))) {
        if (qobject_cast<QRadioButton*>(b) && !checked) {
            // An auto-exclusive radio cannot be unchecked directly.
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        } else {
            b->setChecked(checked);
        }
    }
}

bool CDialog::IsItemChecked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(Item(id));
    return b && b->isChecked();
}

void CDialog::EnableItem(int id, bool enabled) {
    if (QWidget* w = Item(id)) w->setEnabled(enabled);
}

bool CDialog::IsItemEnabled(int id) const {
    QWidget* w = Item(id);
    return w && w->isEnabled();
}

void CDialog::ShowItem(int id, bool visible) {
    if (QWidget* w = Item(id)) w->setVisible(visible);
}

void CDialog::RunModal(QWidget* owner, std::function<void(int)> then, bool frameless) {
    InitDialog();
    then_ = std::move(then);
    modalRunning_ = true;
    setParent(owner, frameless ? Qt::Dialog | Qt::FramelessWindowHint : Qt::Dialog);
    setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    if (owner) {
        const QRect area = owner->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
}

void CDialog::EndDialog(int result) {
    if (!modalRunning_) return;
    modalRunning_ = false;
    hide();
    if (then_) {
        Post([then = std::move(then_), result] { then(result); });
    }
    then_ = nullptr;
}

void CDialog::StartWindowDrag(QPoint globalPress) {
    ++dragCount_;
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    if (handle && handle->startSystemMove()) return;
    // X11 without the window manager's move request, and the offscreen platform: by hand.
    dragOffset_ = globalPress - top->pos();
}

void CDialog::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
        window()->move(event->globalPosition().toPoint() - *dragOffset_);
        return;
    }
    dragOffset_.reset();
    QWidget::mouseMoveEvent(event);
}

void CDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragOffset_.reset();
    QWidget::mouseReleaseEvent(event);
}

void CDialog::InitDialog() {
    if (initialised_) return;
    initialised_ = true;
    OnInitDialog();
}

void CDialog::showEvent(QShowEvent* event) {
    InitDialog();
    QWidget::showEvent(event);
}

void CDialog::closeEvent(QCloseEvent* event) {
    // The window stays until its control has ended it; a window that is not up has nothing to end.
    event->ignore();
    if (!isVisible()) return;
    if (auto* control = qobject_cast<QAbstractButton*>(Item(closeControl_))) control->click();
}

bool CDialog::eventFilter(QObject* watched, QEvent* event) {
    if (filterKeys_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape ||
            key == Qt::Key_Space) {
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace corvane
