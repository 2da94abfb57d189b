// SPDX-License-Identifier: GPL-3.0-or-later
// The real widgets of the window that Qt has no fitting class for: frames
// and picture boxes, the flat graphical button and the list box. Only the
// view makes them (form_view.cpp).
#pragma once

#include <QColor>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>

#include "ui/look.h"
#include "qt/control_views.h"
#include "qt/frame_host.h"
#include "qt/painting.h"
#include "ui/pointer.h"

namespace qt {

// A frame: paints its background, border, caption and lightweight children
// through the window, and passes clicks to the window's hit test.
class FrameWidget : public QWidget {
public:
    FrameWidget(FrameHost* host, std::string name, QWidget* parent)
        : QWidget(parent), host_(host), name_(std::move(name)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        host_->paintContainer(name_, p, this);
    }
    bool event(QEvent* e) override { return host_->containerMouse(name_, e, *this) || QWidget::event(e); }

private:
    FrameHost* host_;
    std::string name_;
};

// A picture box: the picture centred on the container's colour
// (ui::pictureBoxBack). Its clicks go through the window's pointer rules.
class PictureWidget : public QWidget {
public:
    PictureWidget(FrameHost* host, std::string name, QPixmap pixmap, QColor back, QWidget* parent)
        : QWidget(parent), host_(host), name_(std::move(name)), pixmap_(std::move(pixmap)), back_(back) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), back_);
        const ui::Rect at = ui::centred(width(), height(), pixmap_.width(), pixmap_.height());
        if (!pixmap_.isNull()) p.drawPixmap(at.left, at.top, pixmap_);
    }
    bool event(QEvent* e) override { return host_->containerMouse(name_, e, *this) || QWidget::event(e); }

private:
    FrameHost* host_;
    std::string name_;
    QPixmap pixmap_;
    QColor back_;
};

// A graphical push button: a flat face in its back colour with the caption,
// whatever the style. Styles shade the palette's button colour instead of
// painting it (Fusion turns (192, 0, 0) into a gradient around
// (250, 77, 77)), and a style sheet would bring its own style object into
// the window for one button.
class FlatButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    // The control whose look (ui::buttonLook) the button shows.
    void follow(const ui::Control& c) {
        control_ = &c;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!control_) return;
        QPainter p(this);
        const QRect r = rect();
        const ui::ButtonLook look = ui::buttonLook(*control_, isDown(), width(), height());
        const QColor face = toQColor(look.face, this);
        p.fillRect(r, face);
        for (const auto& [e, colour] : look.edges)
            p.fillRect(toQRect(e), toQColor(colour, this));
        p.setFont(font());
        p.setPen(palette().color(look.greyed ? QPalette::Disabled : QPalette::Active, QPalette::ButtonText));
        p.drawText(r.translated(look.sink, look.sink), Qt::AlignCenter, text());
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = r.adjusted(4, 4, -4, -4);
            focus.backgroundColor = face;
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
        }
    }

private:
    const ui::Control* control_ = nullptr;
};

// The list box. QListWidget has no single signal for "the user picked an
// entry": itemClicked misses keyboard moves and is not emitted after a drag,
// currentRowChanged misses a click on the entry already selected and also
// fires for selections made by the program. So the picks are taken from
// the input events themselves: a key that moved the selection, or a mouse
// release that ends on a selected entry or after a press that moved it.
class ListBox : public QListWidget {
public:
    ListBox(std::function<void(int)> picked, QWidget* parent) : QListWidget(parent), picked_(std::move(picked)) {
        setSelectionMode(QAbstractItemView::SingleSelection);
    }

    int selectedRow() const {
        const auto items = selectedItems();
        return items.isEmpty() ? -1 : row(items.first());
    }

    // Picks the current entry, as a click on it does (also the entry
    // already selected).
    void pickCurrent() {
        if (const int row = currentRow(); row >= 0) {
            setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
            picked_(row);
        }
    }

protected:
    void keyPressEvent(QKeyEvent* e) override {
        const int before = selectedRow();
        QListWidget::keyPressEvent(e);
        const int after = selectedRow();
        if (after >= 0 && after != before) picked_(after);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) press_.press(selectedRow());
        QListWidget::mousePressEvent(e);
    }
    // Each click of a double click counts as a pick, as in the combo boxes.
    void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }
    void mouseReleaseEvent(QMouseEvent* e) override {
        QListWidget::mouseReleaseEvent(e);
        if (e->button() != Qt::LeftButton) return;
        const QModelIndex under = indexAt(e->position().toPoint());
        if (const int row = press_.release(selectedRow(), under.isValid() ? under.row() : -1); row >= 0) picked_(row);
    }

private:
    std::function<void(int)> picked_;
    ui::ListPress press_;
};

}  // namespace qt
