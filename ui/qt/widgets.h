// The real widgets of the window that Qt has no fitting class for: frames
// and picture boxes, the flat graphical button and the list box.
#pragma once

#include <QColor>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>

namespace ui::qt {

class FormView;

// A frame: paints its background, border, caption and lightweight children
// through the view, and passes clicks to the view's hit test.
class FrameWidget : public QWidget {
public:
    FrameWidget(FormView* view, std::string name, QWidget* parent)
        : QWidget(parent), view_(view), name_(std::move(name)) {}

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    FormView* view_;
    std::string name_;
};

// A picture box: the picture centred on the container's colour.
class PictureWidget : public QWidget {
public:
    PictureWidget(QPixmap pixmap, QColor back, std::function<void()> clicked, QWidget* parent)
        : QWidget(parent), pixmap_(std::move(pixmap)), back_(back), clicked_(std::move(clicked)) {}

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    // The second press of a double click is no click (FormView::mouseDoubleClickEvent).
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    QPixmap pixmap_;
    QColor back_;
    std::function<void()> clicked_;
    bool pressed_ = false;
};

// A graphical push button: a flat face in its back colour with the caption,
// whatever the style. Styles shade the palette's button colour instead of
// painting it (Fusion turns (192, 0, 0) into a gradient around
// (250, 77, 77)), and a style sheet would bring its own style object into
// the window for one button.
class FlatButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    void setFace(QColor face) {
        face_ = face;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor face_;
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

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    // Each click of a double click counts as a pick, as in the combo boxes.
    void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    std::function<void(int)> picked_;
    int rowAtPress_ = -1;
    bool pressed_ = false;
};

}  // namespace ui::qt
