// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/painting.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "ui/control_table.h"
#include "ui/placement.h"
#include "qt/control_views.h"
#include "qt/text.h"

namespace qt {

// windowText stands for the palette's text colour.
QColor toQColor(ui::Color c, const QWidget* w) {
    if (c.windowText) return w->palette().color(QPalette::WindowText);
    return QColor(c.r, c.g, c.b);
}

namespace {

// Where the ink of a one-line caption lies across a label of the given
// width, placed as QPainter::drawText places it for that alignment
// (checked against rendered text: within a pixel).
std::pair<int, int> inkSpan(const QFont& font, const QString& text, ui::Align align, int width) {
    const QFontMetrics fm(font);
    const int advance = fm.horizontalAdvance(text);
    int x = 0;
    if (align == ui::Align::Right)
        x = width - advance;
    else if (align == ui::Align::Center)
        x = (width - advance) / 2;
    const QRect ink = fm.tightBoundingRect(text);
    return {x + ink.left(), x + ink.right()};
}

bool inkFits(const QFont& font, const QString& text, ui::Align align, int width, int overhang) {
    const auto [left, right] = inkSpan(font, text, align, width);
    return left >= -overhang && right <= width - 1 + overhang;
}

}  // namespace

// ---- painting ---------------------------------------------------------------

namespace {

void paintLabel(QPainter& p, const ControlView& e, QWidget* on);
void paintShape(QPainter& p, const ControlView& e, QWidget* on);
void paintLine(QPainter& p, const ControlView& e, QWidget* on);
void paintImage(QPainter& p, const ControlView& e);

}  // namespace

void paintContainer(const ControlViews& views, const std::string& container, QPainter& p, QWidget* on) {
    const ControlView* host = views.find(container);
    if (host) {
        const ui::Control& c = *host->control;
        p.fillRect(on->rect(), toQColor(c.backColor(), on));
        if (c.kind() == ui::Kind::Frame && c.design().bordered) {
            // A group box look: an etched border whose top runs through the
            // middle of the caption.
            const QFontMetrics fm(host->font);
            const int mid = fm.height() / 2;
            const QRect box(0, mid, on->width() - 1, on->height() - mid - 1);
            p.setPen(toQColor(ui::kEtchShadow, on));
            p.drawRect(box.adjusted(0, 0, -1, -1));
            p.setPen(toQColor(ui::kEtchLight, on));
            p.drawRect(box.adjusted(1, 1, 0, 0));
            const QString caption = qstr(c.caption());
            if (!caption.isEmpty()) {
                const int w = fm.horizontalAdvance(caption);
                const QRect text(8, 0, w + 4, fm.height());
                p.fillRect(text, toQColor(c.backColor(), on));
                p.setFont(host->font);
                p.setPen(on->palette().color(QPalette::WindowText));
                p.drawText(text, Qt::AlignCenter, caption);
            }
        }
    }
    const std::vector<ControlView*>& layer = views.layer(container);
    // Back to front: the table runs front to back.
    for (auto it = layer.rbegin(); it != layer.rend(); ++it) {
        const ControlView& e = **it;
        if (!e.control->visible()) continue;
        p.save();
        switch (e.control->kind()) {
        case ui::Kind::Label: paintLabel(p, e, on); break;
        case ui::Kind::Shape: paintShape(p, e, on); break;
        case ui::Kind::Line: paintLine(p, e, on); break;
        case ui::Kind::Image: paintImage(p, e); break;
        default: break;
        }
        p.restore();
    }
}

namespace {

void paintLabel(QPainter& p, const ControlView& e, QWidget* on) {
    const ui::Control& c = *e.control;
    const QRect r = pixelRect(c);
    // A label without a back colour is transparent.
    if (c.design().backColor) p.fillRect(r, toQColor(c.backColor(), on));
    if (c.caption().empty()) return;
    QColor ink = c.design().foreColor ? toQColor(*c.design().foreColor, on) : on->palette().color(QPalette::WindowText);
    if (!c.enabled()) ink = toQColor(ui::kDisabledText, on);
    int flags = Qt::AlignTop;
    switch (c.design().align) {
    case ui::Align::Left: flags |= Qt::AlignLeft; break;
    case ui::Align::Center: flags |= Qt::AlignHCenter; break;
    case ui::Align::Right: flags |= Qt::AlignRight; break;
    }
    if (!c.design().autoSize && !e.shrunk) flags |= Qt::TextWordWrap;
    p.setFont(e.shrunk ? e.fitted : e.font);
    p.setPen(ink);
    p.setClipRect(r);
    p.drawText(e.shrunk ? r.translated(0, e.fittedDrop) : r, flags, qstr(c.caption()));
}

void paintShape(QPainter& p, const ControlView& e, QWidget* on) {
    const ui::Control& c = *e.control;
    const ui::ControlSpec& s = c.design();
    const QRectF r = pixelRect(c);
    const QColor border = s.borderColor ? toQColor(*s.borderColor, on) : on->palette().color(QPalette::WindowText);
    switch (s.shape) {
    case ui::ShapeKind::Rectangle: {
        // The border lies inside the bounds; a rectangle thinner than two
        // borders (the table's 1px rules) is solid.
        const double bw = std::max(1, s.borderPixels);
        if (r.width() <= 2 * bw || r.height() <= 2 * bw) {
            p.fillRect(r, border);
        } else {
            p.fillRect(QRectF(r.left(), r.top(), r.width(), bw), border);
            p.fillRect(QRectF(r.left(), r.bottom() - bw + 1, r.width(), bw), border);
            p.fillRect(QRectF(r.left(), r.top(), bw, r.height()), border);
            p.fillRect(QRectF(r.right() - bw + 1, r.top(), bw, r.height()), border);
        }
        break;
    }
    case ui::ShapeKind::RoundedRectangle: {
        const double bw = std::max(1, s.borderPixels);
        const QRectF inner = QRectF(r).adjusted(bw / 2, bw / 2, -bw / 2, -bw / 2);
        const double radius = std::min(inner.width(), inner.height()) / 10.0;
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(border, bw));
        p.setBrush(s.fillColor ? toQColor(*s.fillColor, on) : QColor(Qt::white));
        p.drawRoundedRect(inner, radius, radius);
        break;
    }
    case ui::ShapeKind::Dot: {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(s.fillColor ? toQColor(*s.fillColor, on) : border);
        p.drawEllipse(r);
        break;
    }
    case ui::ShapeKind::None:
        break;
    }
}

void paintLine(QPainter& p, const ControlView& e, QWidget* on) {
    const ui::Control& c = *e.control;
    const ui::ControlSpec& s = c.design();
    const QColor ink = s.borderColor ? toQColor(*s.borderColor, on) : on->palette().color(QPalette::WindowText);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ink, std::max(1, s.borderPixels), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(ui::twipsToPixels(c.left()), ui::twipsToPixels(c.top())),
               QPointF(ui::twipsToPixels(c.width()), ui::twipsToPixels(c.height())));
}

void paintImage(QPainter& p, const ControlView& e) {
    if (e.pixmap.isNull()) return;  // artwork missing: nothing to show
    const QRect r = pixelRect(*e.control);
    p.drawPixmap(r.topLeft(), e.pixmap);
}

}  // namespace

// ---- caption fitting --------------------------------------------------------

void fitLabel(ControlView& e) {
    ui::Control& c = *e.control;
    if (c.kind() != ui::Kind::Label) return;
    if (!c.design().autoSize) {
        fitCaption(e);
        return;
    }
    // An auto-size label keeps its left and top and takes the size of its
    // caption; the model is told so that the logic sees the real width.
    const QFontMetrics fm(e.font);
    const QString text = qstr(c.caption());
    const QSize size = text.isEmpty() ? QSize(0, fm.height()) : fm.size(0, text);
    c.fitSize(ui::pixelsToTwips(size.width()), ui::pixelsToTwips(size.height()));
}

// A fixed-size label keeps its size, so a caption wider than the label (the
// answer 10000 in the card's answer or in a tile) is drawn in a font scaled
// down just enough for its ink to lie inside, on the designed line's
// vertical centre; clipped, "10000" would read "0000". Captions that fit
// keep the designed font. A pixel of antialiased edge past the side is
// left as it is, so that every four-digit number in a tile keeps its size.
// Worked out when the caption changes, not when it is painted.
void fitCaption(ControlView& e) {
    const ui::Control& c = *e.control;
    e.shrunk = false;
    const QString text = qstr(c.caption());
    const int width = ui::twipsToPixels(c.width());
    const ui::Align align = c.design().align;
    if (text.isEmpty() || width <= 0 || inkFits(e.font, text, align, width, 1)) return;
    const QRect ink = QFontMetrics(e.font).tightBoundingRect(text);
    const int designed = e.font.pixelSize();
    int size = std::min(designed - 1, designed * width / std::max(1, ink.width()) + 1);
    QFont font = e.font;
    for (; size > 1; --size) {
        font.setPixelSize(size);
        if (inkFits(font, text, align, width, -1)) break;  // a pixel clear of each side
    }
    font.setPixelSize(std::max(1, size));
    e.shrunk = true;
    e.fitted = font;
    e.fittedDrop = (QFontMetrics(e.font).height() - QFontMetrics(font).height()) / 2;
}

}  // namespace qt
