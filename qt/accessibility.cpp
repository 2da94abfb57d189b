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
#include <unordered_map>
#include <utility>
#include <vector>

#include "ui/control.h"
#include "qt/control_views.h"
#include "qt/keyboard.h"
#include "qt/text.h"

namespace qt {
namespace {

const std::unordered_map<std::string_view, AccessibleText>& table() {
    static const std::unordered_map<std::string_view, AccessibleText> t = {
        {"frmSplash", {"Abacorn", "Arithmetic flash cards"}},
        {"lblClickMe", {"Flash card", "Deals a card; the next click shows and says the answer"}},
        {"lblStandard", {"Standard mode", "Click the card to see the answer"}},
        {"lblInteractive", {"Interactive mode", "Pick the right answer among six"}},
        {"lblTimer", {"Timer mode", "The cards run by themselves"}},
        {"lbl1", {"Answer 1", "One of the six possible answers", true}},
        {"lbl2", {"Answer 2", "One of the six possible answers", true}},
        {"lbl3", {"Answer 3", "One of the six possible answers", true}},
        {"lbl4", {"Answer 4", "One of the six possible answers", true}},
        {"lbl5", {"Answer 5", "One of the six possible answers", true}},
        {"lbl6", {"Answer 6", "One of the six possible answers", true}},
        {"img123", {"Quilla", "Quilla draws a picture"}},
        {"lblQuillaWrites", {"Quilla writes", "Quilla draws a picture"}},
        {"picPlus", {"Addition", "Practise adding"}},
        {"picMinus", {"Subtraction", "Practise taking away"}},
        {"picX", {"Multiplication", "Practise times tables"}},
        {"picDivide", {"Division", "Practise dividing"}},
        // The two loudspeakers take turns: the one shown tells the state.
        {"Picture1", {"Speech on", "Switches the voice off"}},
        {"Picture2", {"Speech off", "Switches the voice on"}},
        {"Command1", {"Close Program", "Ends the trainer"}},
        {"cmbMinNum", {"Smallest number", "The smallest number on the cards"}},
        {"cmbMaxNum", {"Largest number", "The largest number on the cards"}},
        {"lstTimer", {"Seconds per card", "How long each card stays in timer mode"}},
        {"frameChoices", {"Possible answers", "Six answers to pick from"}},
        {"frmSet", {"Number range", "The smallest and the largest number on the cards"}},
        {"frameTimer", {"Timer", "Seconds per card in timer mode"}},
    };
    return t;
}

QString nameOf(const ui::Control& c) {
    const AccessibleText* t = accessibleText(c.name());
    if (!t) return qstr(c.caption());  // a label without words of its own reads its caption
    QString name = qstr(t->name);
    if (t->withCaption && !c.caption().empty()) name += QStringLiteral(": ") + qstr(c.caption());
    return name;
}

QString descriptionOf(const ui::Control& c) {
    const AccessibleText* t = accessibleText(c.name());
    return t ? qstr(t->description) : QString();
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
    QAccessible::Role role() const override { return QAccessible::Button; }
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
            if (v->control->handler) lights_.push_back(v->control);
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
        if (c && t == QAccessible::Name) {
            if (const AccessibleText* words = accessibleText(c->name())) return qstr(words->name);
            // A frame's caption is a name only where the frame draws it.
            if (c->kind() == ui::Kind::Frame && !c->design().bordered) return {};
            return qstr(c->caption()).trimmed();
        }
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

// A picture box: a button as far as the child is concerned.
class PictureAccessible final : public QAccessibleWidget {
public:
    PictureAccessible(QWidget* w, AccessibilityBridge* bridge, ui::Control* control)
        : QAccessibleWidget(w, QAccessible::Button), bridge_(bridge), control_(control) {
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
    if (w == &views.window()) return new ContainerAccessible(w, bridge, views.formName(), QAccessible::Window);
    const std::string name = w->objectName().toStdString();
    if (views.widgetFor(name) != w) return nullptr;
    ui::Control* c = views.control(name);
    if (!c) return nullptr;
    if (c->kind() == ui::Kind::Frame) return new ContainerAccessible(w, bridge, name, QAccessible::Grouping);
    if (c->kind() == ui::Kind::PictureBox) return new PictureAccessible(w, bridge, c);
    if (auto* box = qobject_cast<QComboBox*>(w)) return new ComboAccessible(box);
    // A button without words of its own (the focus button) must not read
    // out its design caption: a plain widget has no name.
    if (c->kind() == ui::Kind::Button && !accessibleText(name)) return new QAccessibleWidget(w, QAccessible::Client);
    return nullptr;  // the other buttons and the list have Qt's own
}

}  // namespace

const AccessibleText* accessibleText(std::string_view control) {
    auto it = table().find(control);
    return it == table().end() ? nullptr : &it->second;
}

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
    for (const auto& [name, words] : table()) {
        QWidget* w = views_.widgetFor(name);
        if (!w || w == &window) continue;
        w->setAccessibleName(qstr(words.name));
        w->setAccessibleDescription(qstr(words.description));
    }
    if (const AccessibleText* words = accessibleText(views_.formName())) {
        window.setAccessibleName(qstr(words->name));
        window.setAccessibleDescription(qstr(words->description));
    }
}

AccessibilityBridge::~AccessibilityBridge() { bridges().erase(&views_.window()); }

void AccessibilityBridge::pressSoon(ui::Control& c) {
    QTimer::singleShot(0, this, [this, control = &c] { press_(*control); });
}

}  // namespace qt
