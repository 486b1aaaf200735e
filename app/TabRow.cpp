#include "app/TabRow.h"

#include "app/CCorvaneDlg.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>

namespace corvane {
namespace {

QAccessibleInterface* InterfaceOf(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

TabRow* RowOf(const QWidget* window) {
    return window ? window->findChild<TabRow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The main window: its controls, with the tab row in place of the four tab labels.
class MainWindowInterface : public QAccessibleWidget {
public:
    explicit MainWindowInterface(QWidget* window) : QAccessibleWidget(window) {}

    int childCount() const override { return static_cast<int>(Children().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QAccessibleInterface*> children = Children();
        return index >= 0 && index < children.size() ? children.at(index) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return static_cast<int>(Children().indexOf(const_cast<QAccessibleInterface*>(child)));
    }

private:
    QList<QAccessibleInterface*> Children() const {
        QList<QAccessibleInterface*> children;
        TabRow* row = RowOf(widget());
        bool rowPlaced = false;
        for (int i = 0; i < QAccessibleWidget::childCount(); ++i) {
            QAccessibleInterface* child = QAccessibleWidget::child(i);
            if (row && child && qobject_cast<TabLabel*>(child->object())) {
                if (!rowPlaced) children.append(InterfaceOf(row));
                rowPlaced = true;
                continue;
            }
            children.append(child);
        }
        return children;
    }
};

class TabRowInterface : public QAccessibleObject {
public:
    explicit TabRowInterface(TabRow* row) : QAccessibleObject(row) {}

    QWindow* window() const override { return Row()->Window().window()->windowHandle(); }
    QAccessibleInterface* parent() const override { return InterfaceOf(&Row()->Window()); }
    int childCount() const override { return static_cast<int>(Row()->Tabs().size()); }
    QAccessibleInterface* child(int index) const override {
        return index >= 0 && index < childCount() ? InterfaceOf(Row()->Tabs()[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (child && child->object() == Row()->Tabs()[i]) return i;
        }
        return -1;
    }
    QString text(QAccessible::Text) const override { return {}; }
    QAccessible::Role role() const override { return QAccessible::PageTabList; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !Row()->Tabs()[0]->isVisible();
        return state;
    }
    QRect rect() const override {
        QRect area;
        for (int i = 0; i < childCount(); ++i)
            area |= child(i)->rect();
        return area;
    }

private:
    TabRow* Row() const { return static_cast<TabRow*>(object()); }
};

// A tab: named by its label, selected while its page is in front, pressed as a click on it is.
class TabInterface : public QAccessibleWidget {
public:
    explicit TabInterface(TabLabel* tab) : QAccessibleWidget(tab, QAccessible::PageTab) {}

    QAccessibleInterface* parent() const override {
        TabRow* row = RowOf(Tab()->parentWidget());
        return row ? InterfaceOf(row) : QAccessibleWidget::parent();
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && Tab()->accessibleName().isEmpty()) return Tab()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        const CCorvaneDlg* window = Window();
        state.selected = window && window->CurrentPage() == Tab()->Page();
        return state;
    }
    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
        } else if (CCorvaneDlg* window = Window()) {
            window->OnTabClicked(Tab()->Page());
        }
    }

private:
    TabLabel* Tab() const { return static_cast<TabLabel*>(widget()); }
    CCorvaneDlg* Window() const { return qobject_cast<CCorvaneDlg*>(Tab()->parentWidget()); }
};

QAccessibleInterface* Interfaces(const QString& className, QObject* object) {
    if (className == QLatin1String(CCorvaneDlg::staticMetaObject.className()))
        return new MainWindowInterface(static_cast<QWidget*>(object));
    if (className == QLatin1String(TabRow::staticMetaObject.className()))
        return new TabRowInterface(static_cast<TabRow*>(object));
    if (className == QLatin1String(TabLabel::staticMetaObject.className()))
        return new TabInterface(static_cast<TabLabel*>(object));
    return nullptr;
}

}  // namespace

TabLabel::TabLabel(int page, const QString& text, QWidget* parent)
    : QLabel(text, parent), page_(page) {
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

TabRow::TabRow(CCorvaneDlg& window, const std::array<TabLabel*, 4>& tabs)
    : QObject(&window), window_(window), tabs_(tabs) {}

void TabRow::NotifySelection(int oldPage, int newPage) const {
    if (oldPage == newPage) return;
    QAccessible::State changed;
    changed.selected = true;
    for (TabLabel* tab : tabs_) {
        if (tab->Page() != oldPage && tab->Page() != newPage) continue;
        QAccessibleStateChangeEvent event(tab, changed);
        QAccessible::updateAccessibility(&event);
    }
}

void TabRow::InstallAccessibleInterfaces() {
    static const bool installed = [] {
        QAccessible::installFactory(&Interfaces);
        return true;
    }();
    (void)installed;
}

}  // namespace corvane
