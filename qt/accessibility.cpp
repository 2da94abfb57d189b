// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ui/accessibility.h"
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
        if (!isValid() || !control_->visible() || !container_->isVisible()) s.invisible = true;
        if (isValid() && !control_->enabled()) s.disabled = true;
        if (isValid() && bridge_->keys().isStop(*control_)) s.focusable = true;
        if (isValid() && bridge_->keys().lightweightFocusIn(container_) == control_) s.focused = true;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
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

// The window or a frame: its shown widget children, then its lightweight
// controls that take a click. Hidden widgets (the focus button, a frame out
// of use, the loudspeaker not shown) are left out, and with them whatever
// they hold: Qt's own list holds every child widget, shown or not.
class ContainerAccessible final : public QAccessibleWidget {
public:
    ContainerAccessible(QWidget* w, AccessibilityBridge* bridge, std::string container, QAccessible::Role role)
        : QAccessibleWidget(w, role), bridge_(bridge), container_(std::move(container)) {
        for (const ControlView* v : bridge->views().layer(container_))
            if (ui::inAccessibleTree(*v->control)) lights_.push_back(v->control);
        ids_.assign(lights_.size(), 0);
    }
    ~ContainerAccessible() override {
        for (QAccessible::Id id : ids_)
            if (id) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return static_cast<int>(shownWidgets().size() + lights_.size()); }
    QAccessibleInterface* child(int index) const override {
        const std::vector<QAccessibleInterface*> widgets = shownWidgets();
        if (index < 0) return nullptr;
        if (static_cast<std::size_t>(index) < widgets.size()) return widgets[static_cast<std::size_t>(index)];
        const std::size_t i = static_cast<std::size_t>(index) - widgets.size();
        if (i >= lights_.size()) return nullptr;
        if (!ids_[i])
            ids_[i] = QAccessible::registerAccessibleInterface(new LightweightAccessible(bridge_, widget(), lights_[i]));
        return QAccessible::accessibleInterface(ids_[i]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const std::vector<QAccessibleInterface*> widgets = shownWidgets();
        for (std::size_t i = 0; i < widgets.size(); ++i)
            if (widgets[i] == child) return static_cast<int>(i);
        for (std::size_t i = 0; i < ids_.size(); ++i)
            if (ids_[i] && QAccessible::accessibleInterface(ids_[i]) == child)
                return static_cast<int>(widgets.size() + i);
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        // Real widgets lie in front of the lightweight controls.
        for (QAccessibleInterface* w : shownWidgets())
            if (w->rect().contains(x, y)) return w;
        if (!bridge_) return nullptr;
        const ui::Control* hit = bridge_->views().lightweightAt(container_, widget()->mapFromGlobal(QPoint(x, y)));
        for (std::size_t i = 0; i < lights_.size(); ++i)
            if (lights_[i] == hit) return child(static_cast<int>(shownWidgets().size() + i));
        return nullptr;
    }
    // The focus is its label's or image's while it holds one.
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (bridge_ && bridge_->keys().lightweightFocusIn(widget())) s.focused = false;
        return s;
    }
    // The child that stands for a label or image; nullptr when none does.
    QAccessibleInterface* childFor(const ui::Control* c) const {
        for (std::size_t i = 0; i < lights_.size(); ++i)
            if (lights_[i] == c) return child(static_cast<int>(shownWidgets().size() + i));
        return nullptr;
    }
    QString text(QAccessible::Text t) const override {
        const ui::Control* c = bridge_ ? bridge_->views().control(container_) : nullptr;
        if (c && t == QAccessible::Name) return nameOf(*c);
        if (c && t == QAccessible::Description) return descriptionOf(*c);
        return QAccessibleWidget::text(t);
    }

private:
    std::vector<QAccessibleInterface*> shownWidgets() const {
        std::vector<QAccessibleInterface*> shown;
        const int n = QAccessibleWidget::childCount();
        for (int i = 0; i < n; ++i) {
            QAccessibleInterface* iface = QAccessibleWidget::child(i);
            auto* w = iface ? qobject_cast<QWidget*>(iface->object()) : nullptr;
            if (iface && (!w || !w->isHidden())) shown.push_back(iface);
        }
        return shown;
    }

    QPointer<AccessibilityBridge> bridge_;
    std::string container_;
    std::vector<ui::Control*> lights_;
    mutable std::vector<QAccessible::Id> ids_;
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

// Tells clients that keep a copy of the tree when a widget joins or leaves
// it: the containers leave hidden widgets out, and Qt itself reports a show
// or hide only as a change of the "showing" state.
class TreeNotifier final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type t = event->type();
        if ((t == QEvent::ShowToParent || t == QEvent::HideToParent) && QAccessible::isActive()) {
            QAccessibleEvent changed(watched, t == QEvent::ShowToParent ? QAccessible::ObjectCreated
                                                                        : QAccessible::ObjectDestroyed);
            QAccessible::updateAccessibility(&changed);
        }
        return false;
    }
};

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
    if (views.widgetFor(name) != w) return nullptr;
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
    auto* notifier = new TreeNotifier(&window);
    for (QWidget* w : window.findChildren<QWidget*>())
        if (views_.widgetFor(w->objectName().toStdString()) == w) w->installEventFilter(notifier);
    // The widgets with words of their own are named once: none of their
    // names follows its caption.
    for (const auto& c : views_.controls().all()) {
        QWidget* w = views_.widgetFor(c->name());
        if (!w || !ui::accessibleText(c->name())) continue;
        w->setAccessibleName(nameOf(*c));
        w->setAccessibleDescription(descriptionOf(*c));
    }
}

AccessibilityBridge::~AccessibilityBridge() { bridges().erase(&views_.window()); }

void AccessibilityBridge::pressSoon(ui::Control& c) {
    QTimer::singleShot(0, this, [this, control = &c] { press_(*control); });
}

}  // namespace qt
