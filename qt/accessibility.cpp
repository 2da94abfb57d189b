// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QComboBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ui/accessibility.h"
#include "ui/accessible_tree.h"
#include "ui/control.h"
#include "qt/control_views.h"
#include "qt/keyboard.h"
#include "qt/text.h"

namespace qt {
namespace {

QString nameOf(const ui::Control& c) { return qstr(ui::accessibleName(c)); }

QString descriptionOf(const ui::Control& c) { return qstr(ui::accessibleDescription(c)); }

// The platform's word for the part a control plays.
QAccessible::Role roleOf(const ui::Control& c) {
    switch (ui::accessibleRole(c)) {
    case ui::Role::Window: return QAccessible::Window;
    case ui::Role::Grouping: return QAccessible::Grouping;
    case ui::Role::Button: return QAccessible::Button;
    case ui::Role::PushButton: return QAccessible::PushButton;
    case ui::Role::Text: return QAccessible::StaticText;
    case ui::Role::Plain: return QAccessible::Client;
    case ui::Role::ComboBox: return QAccessible::ComboBox;
    case ui::Role::List: return QAccessible::List;
    case ui::Role::None: break;
    }
    return QAccessible::NoRole;
}

// A label or image with a click handler, inside its container's widget.
class LightweightAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    LightweightAccessible(AccessibilityBridge* bridge, QWidget* container, ui::Control* control)
        : bridge_(bridge), container_(container), control_(control) {}

    bool isValid() const override { return bridge_ && container_; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return container_ ? container_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(container_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (!isValid()) return {};
        switch (t) {
        case QAccessible::Name: return nameOf(*control_);
        case QAccessible::Description: return descriptionOf(*control_);
        default: return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = pixelRect(*control_);
        return QRect(container_->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return roleOf(*control_); }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible = true;
        if (!isValid()) return s;
        const ui::AccessibleState a = ui::accessibleState(bridge_->views().controls(), *control_,
                                                          bridge_->keys().lightweightFocusIn(container_));
        s.invisible = !a.offered;
        s.disabled = a.unavailable;
        s.focusable = a.focusable;
        s.focused = a.focused;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type != QAccessible::ActionInterface || !ui::accessiblePressable(*control_)) return nullptr;
        return static_cast<QAccessibleActionInterface*>(this);
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (isValid() && action == pressAction()) bridge_->pressSoon(*control_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    const ui::Control* control() const { return control_; }

private:
    QPointer<AccessibilityBridge> bridge_;
    QPointer<QWidget> container_;
    ui::Control* control_;  // owned by the model, which outlives the view
};

// The window or a frame: its nodes that are offered now, in the tree's
// order. Qt's own list holds every child widget, shown or not.
class ContainerAccessible final : public QAccessibleWidget {
public:
    ContainerAccessible(QWidget* w, AccessibilityBridge* bridge, std::string container, QAccessible::Role role)
        : QAccessibleWidget(w, role), bridge_(bridge), container_(std::move(container)) {}
    ~ContainerAccessible() override {
        for (const auto& [control, id] : ids_) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return static_cast<int>(nodes().size()); }
    QAccessibleInterface* child(int index) const override {
        const std::vector<ui::Control*> all = nodes();
        return index >= 0 && static_cast<std::size_t>(index) < all.size() ? childFor(all[static_cast<std::size_t>(index)])
                                                                           : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const std::vector<ui::Control*> all = nodes();
        for (std::size_t i = 0; i < all.size(); ++i)
            if (childFor(all[i]) == child) return static_cast<int>(i);
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const ui::Control* host = bridge_ ? bridge_->views().control(container_) : nullptr;
        if (!host) return nullptr;
        const ControlViews& views = bridge_->views();
        const ui::Control* hit = ui::accessibleChildAt(
            views.controls(), *host, [&](const ui::Control& c) { return childFor(&c)->rect().contains(x, y); },
            [&](const ui::Control& c) { return views.ownFor(c.name()) != nullptr; });
        return hit ? childFor(hit) : nullptr;
    }
    // The focus is its label's or image's while it holds one.
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (bridge_ && bridge_->keys().lightweightFocusIn(widget())) s.focused = false;
        return s;
    }
    // The node that stands for a control of this container: its widget's,
    // or one of ours for a label or image.
    QAccessibleInterface* childFor(const ui::Control* c) const {
        if (!bridge_) return nullptr;
        if (QWidget* w = bridge_->views().ownFor(c->name())) return QAccessible::queryAccessibleInterface(w);
        QAccessible::Id& id = ids_[c];
        if (!id)
            id = QAccessible::registerAccessibleInterface(
                new LightweightAccessible(bridge_, widget(), const_cast<ui::Control*>(c)));
        return QAccessible::accessibleInterface(id);
    }
    QString text(QAccessible::Text t) const override {
        const ui::Control* c = bridge_ ? bridge_->views().control(container_) : nullptr;
        if (c && t == QAccessible::Name) return nameOf(*c);
        if (c && t == QAccessible::Description) return descriptionOf(*c);
        return QAccessibleWidget::text(t);
    }

private:
    std::vector<ui::Control*> nodes() const {
        const ui::Control* host = bridge_ ? bridge_->views().control(container_) : nullptr;
        if (!host) return {};
        const ui::Controls& controls = bridge_->views().controls();
        std::vector<ui::Control*> shown;
        for (ui::Control* c : ui::accessibleChildren(controls, *host))
            if (ui::offered(controls, *c)) shown.push_back(c);
        return shown;
    }

    QPointer<AccessibilityBridge> bridge_;
    std::string container_;
    mutable std::unordered_map<const ui::Control*, QAccessible::Id> ids_;
};

// A number list: named for what it sets, with the entry shown as its value
// and its text. Qt's own combo box on Linux names it by the entry shown
// ("0", "12"), which tells a listener nothing.
class ComboAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ComboAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {
        addControllingSignal(QStringLiteral("currentIndexChanged(int)"));
    }
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return box()->currentText();
        return QAccessibleWidget::text(t);  // the accessible name and description set on the box
    }
    // The drop-down list, as Qt's own combo box has it.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child == QAccessible::queryAccessibleInterface(box()->view()) ? 0 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) box()->showPopup();
    }

    // Read-only text: the entry shown.
    QString text(int start, int end) const override { return box()->currentText().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(box()->currentText().size()); }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }
};

// A picture box, which an assistive tool presses as a click.
class PictureAccessible final : public QAccessibleWidget {
public:
    PictureAccessible(QWidget* w, AccessibilityBridge* bridge, ui::Control* control)
        : QAccessibleWidget(w, roleOf(*control)), bridge_(bridge), control_(control) {
        addControllingSignal(QStringLiteral("destroyed(QObject*)"));
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction() && bridge_) bridge_->pressSoon(*control_);
    }

private:
    QPointer<AccessibilityBridge> bridge_;
    ui::Control* control_;
};

// The bridges of the windows that have one, by window.
std::unordered_map<const QWidget*, AccessibilityBridge*>& bridges() {
    static std::unordered_map<const QWidget*, AccessibilityBridge*> all;
    return all;
}

// The bridge of the window a widget lies in; nullptr when it has none.
AccessibilityBridge* bridgeOf(const QWidget* w) {
    for (const QWidget* p = w; p; p = p->parentWidget())
        if (auto it = bridges().find(p); it != bridges().end()) return it->second;
    return nullptr;
}

// Qt tells screen readers that a container widget has the focus when its
// focused label or image has it: name the label or image instead.
void routeFocus(QAccessibleEvent* event) {
    QAccessibleInterface* child = nullptr;
    if (auto* w = event->type() == QAccessible::Focus ? qobject_cast<QWidget*>(event->object()) : nullptr)
        if (const AccessibilityBridge* bridge = bridgeOf(w))
            if (const ui::Control* c = bridge->keys().lightweightFocusIn(w))
                if (auto* host = dynamic_cast<ContainerAccessible*>(QAccessible::queryAccessibleInterface(w)))
                    child = host->childFor(c);
    // Qt hands the event to the platform only while no handler is installed.
    QAccessible::installUpdateHandler(nullptr);
    if (child) {
        QAccessibleEvent focus(child, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    } else {
        QAccessible::updateAccessibility(event);
    }
    QAccessible::installUpdateHandler(routeFocus);
}

QAccessibleInterface* factory(const QString&, QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    if (!w) return nullptr;
    AccessibilityBridge* bridge = bridgeOf(w);
    if (!bridge) return nullptr;
    const ControlViews& views = bridge->views();
    if (w == &views.window()) {
        const ui::Control* form = views.control(views.formName());
        return new ContainerAccessible(w, bridge, views.formName(), form ? roleOf(*form) : QAccessible::Window);
    }
    const std::string name = w->objectName().toStdString();
    if (views.ownFor(name) != w) return nullptr;
    ui::Control* c = views.control(name);
    if (!c) return nullptr;
    switch (ui::accessibleRole(*c)) {
    case ui::Role::Grouping: return new ContainerAccessible(w, bridge, name, roleOf(*c));
    case ui::Role::Button: return new PictureAccessible(w, bridge, c);
    case ui::Role::ComboBox:
        if (auto* box = qobject_cast<QComboBox*>(w)) return new ComboAccessible(box);
        return nullptr;
    // A plain widget has no name.
    case ui::Role::Plain: return new QAccessibleWidget(w, roleOf(*c));
    default: return nullptr;  // the other buttons and the list have Qt's own
    }
}

}  // namespace

AccessibilityBridge::AccessibilityBridge(const ControlViews& views, const KeyboardFocus& keys,
                                         std::function<void(ui::Control&)> press)
    : views_(views), keys_(keys), press_(std::move(press)) {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        QAccessible::installUpdateHandler(routeFocus);
        return true;
    }();
    (void)installed;
    QWidget& window = views_.window();
    bridges()[&window] = this;
    // Filling a combo box raises accessibility events, which make Qt create
    // and keep its own interface for the box before the factory above was
    // asked: drop those, so that the next query asks the factory.
    for (QComboBox* box : window.findChildren<QComboBox*>())
        if (QAccessibleInterface* own = QAccessible::queryAccessibleInterface(box);
            own && !dynamic_cast<ComboAccessible*>(own))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(own));
    // The widgets with words of their own are named once: none of their
    // names follows its caption.
    for (const auto& c : views_.controls().all()) {
        QWidget* w = views_.ownFor(c->name());
        if (!w || !ui::accessibleText(c->name())) continue;
        w->setAccessibleName(nameOf(*c));
        w->setAccessibleDescription(descriptionOf(*c));
    }
}

AccessibilityBridge::~AccessibilityBridge() { bridges().erase(&views_.window()); }

// The platform's event for each of the tree's. Qt raises its own for a
// widget's focus, state and place and a number list's entry; a show or hide
// it reports only as a change of the "showing" state, which leaves clients
// that keep a copy of the tree behind.
void AccessibilityBridge::changed(const ui::Control& c, ui::Change change) {
    // A node left out of the tree tells nothing but its leaving.
    if (!QAccessible::isActive() || (!ui::offered(views_.controls(), c) && change != ui::Change::Visible)) return;
    QWidget* own = views_.ownFor(c.name());
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(own);
    if (!own) {
        auto* host = dynamic_cast<ContainerAccessible*>(
            QAccessible::queryAccessibleInterface(views_.containerOf(c.design().container)));
        node = host ? host->childFor(&c) : nullptr;
    }
    if (!node) return;
    for (ui::AccessibleEvent e : ui::accessibleEvents(c, change)) {
        QAccessible::Event type = QAccessible::InvalidEvent;
        switch (e) {
        case ui::AccessibleEvent::NameChanged: type = QAccessible::NameChanged; break;
        case ui::AccessibleEvent::Shown: type = QAccessible::ObjectCreated; break;
        case ui::AccessibleEvent::Hidden: type = QAccessible::ObjectDestroyed; break;
        case ui::AccessibleEvent::ValueChanged:
            if (!qobject_cast<QComboBox*>(own)) type = QAccessible::ValueChanged;
            break;
        case ui::AccessibleEvent::StateChanged:
            if (!own) type = QAccessible::StateChanged;
            break;
        case ui::AccessibleEvent::LocationChanged:
            if (!own) type = QAccessible::LocationChanged;
            break;
        case ui::AccessibleEvent::Focus: break;  // the keyboard's, named by routeFocus()
        }
        if (type == QAccessible::InvalidEvent) continue;
        if (type == QAccessible::StateChanged) {
            QAccessible::State disabled;
            disabled.disabled = true;
            QAccessibleStateChangeEvent event(node, disabled);
            QAccessible::updateAccessibility(&event);
        } else if (type == QAccessible::ValueChanged) {
            QAccessibleValueChangeEvent event(node, qstr(ui::accessibleValue(c)));
            QAccessible::updateAccessibility(&event);
        } else {
            QAccessibleEvent event(node, type);
            QAccessible::updateAccessibility(&event);
        }
    }
}

void AccessibilityBridge::pressSoon(ui::Control& c) {
    QTimer::singleShot(0, this, [this, control = &c] { press_(*control); });
}

}  // namespace qt
