// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/painting.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

#include "ui/look.h"
#include "qt/control_views.h"
#include "qt/text.h"

namespace qt {

// windowText stands for the palette's text colour.
QColor toQColor(ui::Color c, const QWidget* w) {
    if (c.windowText) return w->palette().color(QPalette::WindowText);
    return QColor(c.r, c.g, c.b);
}

namespace {

void paintFrame(QPainter& p, const ControlView& host, QWidget* on) {
    const ui::Control& c = *host.control;
    const QFontMetrics fm(host.font);
    const QString caption = qstr(c.caption());
    const ui::FrameLook look = ui::frameLook(c, on->width(), on->height(), fm.horizontalAdvance(caption), fm.height());
    p.fillRect(on->rect(), toQColor(look.back, on));
    if (!look.etched) return;
    // A one-pixel pen's outline of a rectangle runs along its inner edge.
    p.setPen(toQColor(look.shadowColor, on));
    p.drawRect(toQRect(look.shadow).adjusted(0, 0, -1, -1));
    p.setPen(toQColor(look.lightColor, on));
    p.drawRect(toQRect(look.light).adjusted(0, 0, -1, -1));
    if (caption.isEmpty()) return;
    p.fillRect(toQRect(look.caption), toQColor(look.back, on));
    p.setFont(host.font);
    p.setPen(toQColor(look.captionInk, on));
    p.drawText(toQRect(look.caption), Qt::AlignCenter, caption);
}

void paintLabel(QPainter& p, const ControlView& e, QWidget* on) {
    const ui::Control& c = *e.control;
    const QRect r = pixelRect(c);
    const ui::LabelLook look = ui::labelLook(c, e.fit);
    if (look.fill) p.fillRect(r, toQColor(*look.fill, on));
    if (c.caption().empty()) return;
    int flags = Qt::AlignTop | (look.wrap ? Qt::TextWordWrap : 0);
    switch (look.align) {
    case ui::Align::Left: flags |= Qt::AlignLeft; break;
    case ui::Align::Center: flags |= Qt::AlignHCenter; break;
    case ui::Align::Right: flags |= Qt::AlignRight; break;
    }
    p.setFont(e.fit.shrunk ? e.fitted : e.font);
    p.setPen(toQColor(look.ink, on));
    p.setClipRect(r);
    p.drawText(toQRect(look.text), flags, qstr(c.caption()));
}

void paintShape(QPainter& p, const ControlView& e, QWidget* on) {
    const ui::ShapeLook look = ui::shapeLook(*e.control);
    const QRect r = pixelRect(*e.control);
    const double bw = look.borderWidth;
    switch (look.shape) {
    case ui::ShapeKind::Rectangle:
        for (const ui::Rect& bar : ui::borderBars({r.left(), r.top(), r.right() + 1, r.bottom() + 1}, look.borderWidth))
            p.fillRect(toQRect(bar), toQColor(look.border, on));
        break;
    case ui::ShapeKind::RoundedRectangle: {
        // The pen is centred on the outline: half of it inside the bounds.
        const QRectF inner = QRectF(r).adjusted(bw / 2, bw / 2, -bw / 2, -bw / 2);
        const double radius = ui::cornerRadius(inner.width(), inner.height());
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(toQColor(look.border, on), bw));
        p.setBrush(toQColor(look.fill, on));
        p.drawRoundedRect(inner, radius, radius);
        break;
    }
    case ui::ShapeKind::Dot:
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(toQColor(look.fill, on));
        p.drawEllipse(QRectF(r));
        break;
    case ui::ShapeKind::None: break;
    }
}

void paintLine(QPainter& p, const ControlView& e, QWidget* on) {
    const ui::LineLook look = ui::lineLook(*e.control);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(toQColor(look.ink, on), look.width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(look.x1, look.y1), QPointF(look.x2, look.y2));
}

}  // namespace

void paintContainer(const ControlViews& views, const std::string& container, QPainter& p, QWidget* on) {
    if (const ControlView* host = views.find(container)) paintFrame(p, *host, on);
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
        case ui::Kind::Image:
            if (!e.pixmap.isNull()) p.drawPixmap(pixelRect(*e.control).topLeft(), e.pixmap);
            break;
        default: break;
        }
        p.restore();
    }
}

namespace {

// A label's font at any pixel size, measured by Qt's font metrics.
class Measure : public ui::TextMeasure {
public:
    explicit Measure(const QFont& font) : font_(font) {}
    ui::TextSize size(int pixels, const std::string& text) const override {
        const QFontMetrics fm(at(pixels));
        const QSize size = text.empty() ? QSize(0, fm.height()) : fm.size(0, qstr(text));
        return {size.width(), size.height()};
    }
    ui::TextInk ink(int pixels, const std::string& text) const override {
        const QFontMetrics fm(at(pixels));
        const QRect ink = fm.tightBoundingRect(qstr(text));
        return {fm.horizontalAdvance(qstr(text)), ink.left(), ink.right(), fm.height()};
    }

private:
    QFont at(int pixels) const {
        QFont font = font_;
        font.setPixelSize(pixels);
        return font;
    }
    QFont font_;
};

}  // namespace

void fitLabel(ControlView& e) {
    e.fit = ui::fitLabel(*e.control, e.font.pixelSize(), Measure(e.font));
    if (e.fit.shrunk) {
        e.fitted = e.font;
        e.fitted.setPixelSize(e.fit.pixels);
    }
}

}  // namespace qt
