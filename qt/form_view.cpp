// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/form_view.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <utility>

#include "ui/control_table.h"
#include "qt/accessibility.h"
#include "qt/keyboard.h"
#include "qt/painting.h"
#include "qt/showing.h"
#include "qt/text.h"
#include "ui/placement.h"
#include "ui/views.h"
#include "qt/widgets.h"

namespace qt {

FormView::FormView(ui::Controls& controls, std::function<void(ui::Control&)> userEvent, std::function<void()> formClick,
                   QWidget* parent)
    : QWidget(parent), ui::Binding(controls, std::move(userEvent), std::move(formClick)), views_(controls, *this) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QString());
    if (const ControlView* form = views_.find(views_.formName()); form && !form->pixmap.isNull())
        setWindowIcon(QIcon(form->pixmap));
    if (const ControlView* form = views_.find(views_.formName()))
        resize(ui::twipsToPixels(form->control->width()), ui::twipsToPixels(form->control->height()));

    createWidgets();
    stackWidgets();

    for (ControlView& v : views_.all()) {
        if (!v.pixmap.isNull()) ui::fitPicture(*v.control, v.pixmap.width(), v.pixmap.height());
        if (v.control->kind() == ui::Kind::Label) fitLabel(v);
    }
    views_.notePainted();
    const auto press = [this](ui::Control& c) { activate(c); };
    keyboard_ = std::make_unique<KeyboardFocus>(views_, press);
    accessibility_ = std::make_unique<AccessibilityBridge>(views_, *keyboard_, press);
    observe();
}

FormView::~FormView() {
    stopObserving();
    accessibility_.reset();
    keyboard_.reset();
}

void FormView::createWidgets() {
    // Containers come before their children in the table, so a child's
    // parent widget always exists by the time the child is made.
    for (ControlView& e : views_.all()) {
        ui::Control& c = *e.control;
        QWidget* parent = views_.containerOf(c.design().container);
        if (!parent) parent = this;
        switch (c.kind()) {
        case ui::Kind::Frame:
            e.widget = new FrameWidget(static_cast<FrameHost*>(this), c.name(), parent);
            break;
        case ui::Kind::PictureBox: {
            const QColor back = toQColor(ui::pictureBoxBack(views_.controls(), c), this);
            e.widget = new PictureWidget(this, c.name(), e.pixmap, back, parent);
            break;
        }
        case ui::Kind::Button: {
            auto* b = c.design().graphical ? new FlatButton(qstr(c.caption()), parent)
                                           : new QPushButton(qstr(c.caption()), parent);
            b->setFont(e.font);
            if (!c.design().tooltip.empty()) b->setToolTip(qstr(c.design().tooltip));
            QObject::connect(b, &QPushButton::clicked, this, [this, &c] { userEvent(c); });
            e.widget = b;
            applyBackColor(e);
            break;
        }
        case ui::Kind::ComboBox: {
            auto* box = new QComboBox(parent);
            box->setEditable(false);
            box->setFont(e.font);
            for (const auto& item : c.design().items) box->addItem(qstr(item));
            // QComboBox selects its first entry as soon as it has one.
            box->setCurrentIndex(c.selectedIndex());
            // activated is emitted for every pick by the child: from the
            // popup (also when the entry picked is the one already shown)
            // and for arrow keys on the closed box (once per key, and not
            // at the ends of the list). setCurrentIndex never emits it.
            // Checked with real X clicks under Xvfb: a mouse pick of the
            // entry already shown gives one activated, as does Return in
            // the open list.
            QObject::connect(box, &QComboBox::activated, this, [this, &c](int index) { pick(c, index); });
            e.widget = box;
            break;
        }
        case ui::Kind::ListBox: {
            auto* list = new ListBox([this, &c](int row) { pick(c, row); }, parent);
            list->setFont(e.font);
            for (const auto& item : c.design().items) list->addItem(qstr(item));
            e.widget = list;
            applySelection(e);
            break;
        }
        default:
            break;
        }
        if (e.widget) {
            e.widget->setObjectName(qstr(c.name()));
            applyGeometry(e);
            e.widget->setVisible(c.visible());
            e.widget->setEnabled(c.enabled());
        }
    }
}

void FormView::stackWidgets() {
    // The table lists each container's controls from front to back; raising
    // them from the back leaves the first one on top.
    for (auto it = views_.all().rbegin(); it != views_.all().rend(); ++it)
        if (it->widget) it->widget->raise();
}

QPixmap FormView::picture(std::string_view name) const {
    const ControlView* v = views_.find(name);
    return v ? v->pixmap : QPixmap();
}

QFont FormView::fontFor(const ui::Control& c) const {
    const ControlView* v = views_.find(c.name());
    if (!v) return font();
    return v->fit.shrunk ? v->fitted : v->font;
}

void FormView::showCoveringScreen() { qt::showCoveringScreen(*this); }

void FormView::applyGeometry(ControlView& e) {
    if (e.widget) e.widget->setGeometry(pixelRect(*e.control));
}

void FormView::applyBackColor(ControlView& e) {
    if (auto* button = dynamic_cast<FlatButton*>(e.widget)) button->follow(*e.control);
}

void FormView::applySelection(ControlView& e) {
    ui::Control& c = *e.control;
    // The program's selections only mirror the model: the handler has been
    // raised by the model already, so the widget must not report a pick.
    if (auto* box = qobject_cast<QComboBox*>(e.widget)) {
        const QSignalBlocker block(box);
        if (box->currentIndex() != c.selectedIndex()) box->setCurrentIndex(c.selectedIndex());
    } else if (auto* list = dynamic_cast<ListBox*>(e.widget)) {
        const QSignalBlocker block(list);
        const QSignalBlocker blockModel(list->selectionModel());
        if (c.selectedIndex() < 0) {
            list->clearSelection();
        } else if (list->selectedRow() != c.selectedIndex()) {
            list->setCurrentRow(c.selectedIndex(), QItemSelectionModel::ClearAndSelect);
        }
        list->viewport()->update();
    }
}

void FormView::changed(std::size_t row, ui::Change change) {
    ControlView& e = views_.all()[row];
    ui::Control& c = *e.control;
    const ui::Redraw r = ui::whatChangeNeeds(c, change);
    if (r.wholeForm) update();
    if (!r.tell) return;
    if (r.refit) fitLabel(e);
    if (QWidget* w = e.widget) {
        if (auto* b = qobject_cast<QPushButton*>(w); b && r.text) b->setText(qstr(c.caption()));
        if (r.show) w->setVisible(c.visible());
        if (r.enable) w->setEnabled(c.enabled());
        if (r.place) applyGeometry(e);
        if (r.backColor) applyBackColor(e);
        if (r.redrawOwn) w->update();
        if (r.comboSelection || r.listSelection) applySelection(e);
    }
    if (r.repaint) {
        const QRect area = toQRect(views_.repaintArea(e));
        if (QWidget* w = views_.containerOf(c.design().container)) w->update(area);
    }
    if (r.focus && keyboard_) keyboard_->focus(c);
    if (keyboard_) keyboard_->rules().changed(c, change);
    if (accessibility_) accessibility_->changed(c, change);
}

// ---- painting and clicks ------------------------------------------------------

void FormView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintContainer(views_.formName(), p, this);
}

void FormView::paintContainer(const std::string& container, QPainter& p, QWidget* on) const {
    qt::paintContainer(views_, container, p, on);
}

// The left button on the window, a frame or a picture box, and what lies
// under it: the window's pointer rules make the clicks of it. Qt delivers
// the second press of a double click only as a double-click event
// (docs/qt-notes.md).
bool FormView::containerMouse(const std::string& container, QEvent* event, const QWidget& on) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return false;
    auto* e = static_cast<QMouseEvent*>(event);
    e->accept();  // a frame swallows its clicks: the window never sees them
    if (e->button() != Qt::LeftButton) return true;
    const QPoint pos = e->position().toPoint();
    ui::Control* self = views_.control(container);
    ui::Control* under = self && self->kind() == ui::Kind::PictureBox ? (on.rect().contains(pos) ? self : nullptr)
                                                                      : views_.lightweightAt(container, pos);
    if (type == QEvent::MouseButtonPress)
        pointerPressed(container, under);
    else if (type == QEvent::MouseButtonDblClick)
        pointerDoubleClicked(container);
    else
        pointerReleased(container, under, on.rect().contains(pos));
    return true;
}

bool FormView::event(QEvent* event) { return containerMouse(formName(), event, *this) || QWidget::event(event); }

void FormView::focusOnClick(ui::Control& c) { keyboard_->rules().clicked(c); }

bool FormView::focusNextPrevChild(bool next) { return keyboard_->tab(next); }

// A close from the window system (Alt+F4, a window manager's close button)
// is refused: only Ctrl+Q and "Close Program" end the lesson. Qt's own close
// (the application quit, the session's end) is taken.
void FormView::closeEvent(QCloseEvent* event) {
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    event->accept();
    if (onClose) onClose();
}

}  // namespace qt
