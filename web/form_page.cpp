// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/form_page.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <utility>

#include "ui/accessibility.h"
#include "ui/accessible_tree.h"
#include "ui/control_table.h"
#include "ui/screen_place.h"
#include "ui/look.h"
#include "ui/placement.h"

namespace web {
namespace {

std::string css(ui::Color c) {
    if (c.windowText) return "#000";
    char s[8];
    std::snprintf(s, sizeof s, "#%02x%02x%02x", c.r, c.g, c.b);
    return s;
}

std::string px(int v) { return std::to_string(v) + "px"; }

// The families the design names, drawn in the free fonts shipped with the
// page, so that every device shows the same window.
std::string cssFont(const ui::Font& f, int pixels) {
    const std::string family = ui::fontFamily(f);
    std::string shipped = "Liberation Sans";
    if (family == "Comic Sans MS") shipped = "Comic Neue";
    else if (family == "Times New Roman") shipped = "Liberation Serif";
    return std::string(f.bold ? "bold " : "") + px(pixels) + " '" + shipped + "'";
}

// Stacking: widgets in front of what their container paints, and within
// each the table's order from front to back.
int layer(const Elements& views, const ui::Control& c) {
    const int count = static_cast<int>(views.all().size());
    int row = 0;
    for (; row < count && views.all()[row].control != &c; ++row) {}
    return (ui::liesInFront(c.kind()) ? 2 * count : count) + (count - row);
}

// A label's font at any pixel size, measured by the page.
class Measure : public ui::TextMeasure {
public:
    explicit Measure(const ui::Font& font) : font_(font) {}
    ui::TextSize size(int pixels, const std::string& text) const override {
        const page::Metrics m = page::measure(cssFont(font_, pixels), text);
        return {text.empty() ? 0 : m.width, m.line};
    }
    ui::TextInk ink(int pixels, const std::string& text) const override {
        const page::Metrics m = page::measure(cssFont(font_, pixels), text);
        return {m.advance, m.inkLeft, m.inkRight, m.line};
    }

private:
    ui::Font font_;
};

page::Tag tagFor(ui::Kind kind) {
    switch (kind) {
    case ui::Kind::Button: return page::Tag::Button;
    case ui::Kind::ComboBox: return page::Tag::Select;
    case ui::Kind::ListBox: return page::Tag::ListBox;
    case ui::Kind::Image: return page::Tag::Image;
    default: return page::Tag::Box;
    }
}

const char* roleFor(ui::Role role) {
    switch (role) {
    case ui::Role::Window: return "application";
    case ui::Role::Grouping: return "group";
    case ui::Role::Button: return "button";
    case ui::Role::List: return "listbox";
    default: return "";
    }
}

}  // namespace

ui::KeyPress keyPress(const page::Event& e) {
    ui::KeyPress k;
    k.shift = e.shift;
    k.ctrl = e.ctrl;
    k.alt = e.alt;
    k.other = e.meta;
    const std::string& key = e.key;
    if (key == " ") k.key = ui::Key::Space;
    else if (key == "Enter") k.key = ui::Key::Enter;
    else if (key == "Tab") k.key = ui::Key::Tab;
    else if (key == "Shift" || key == "Control" || key == "Alt" || key == "Meta" || key == "AltGraph" ||
             key == "CapsLock" || key == "NumLock" || key == "OS")
        k.key = ui::Key::Modifier;
    else if (key.size() == 1 && std::isalnum(static_cast<unsigned char>(key[0]))) {
        k.key = ui::Key::Letter;
        k.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
    }
    return k;
}

std::string FormPage::pictureSource(const std::string& resource, int density) {
    std::string file = resource.substr(resource.rfind('/') + 1);
    const auto dot = file.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : file.substr(dot);
    if (ext == ".bmp" || ext == ".ico") file = file.substr(0, dot) + ".png";
    if (ext == ".ico") file = "abacorn.png";
    return density > 1 ? "assets/3x/" + file : "assets/" + file;
}

std::vector<std::string> FormPage::pictureSources(const std::vector<ui::ControlSpec>& table) {
    std::vector<std::string> sources;
    for (const ui::ControlSpec& s : table)
        if (!s.picture.empty()) sources.push_back(pictureSource(s.picture, 1));
    return sources;
}

FormPage::FormPage(ui::Controls& controls, std::function<void(ui::Control&)> userEvent, std::function<void()> formClick)
    : ui::Binding(controls, std::move(userEvent), std::move(formClick)), views_(controls) {
    dpi_ = fittingDpi();
    // Containers come before their controls in the table.
    for (Element& e : views_.all()) create(e);
    for (Element& e : views_.all()) {
        if (e.control->kind() == ui::Kind::Image && e.pictureWidth > 0)
            ui::fitPicture(*e.control, e.pictureWidth, e.pictureHeight);
        if (e.control->kind() == ui::Kind::Label) fit(e);
    }
    for (Element& e : views_.all()) draw(e);
    views_.notePainted(dpi_);
    rules_ = std::make_unique<ui::FocusRules>(controls, static_cast<ui::FocusHost&>(*this));
    observe();
}

FormPage::~FormPage() {
    stopObserving();
    // The page keeps no element of a window that is gone.
    if (const Element* form = views_.find(views_.formName())) page::shown(form->element, false);
}

void FormPage::shown() {
    rules_->focusFirst();
    tellActiveDescendants();
}

void FormPage::create(Element& e) {
    ui::Control& c = *e.control;
    if (c.kind() == ui::Kind::Timer) return;
    const bool isForm = c.kind() == ui::Kind::Form;
    const Element* host = isForm ? nullptr : views_.find(c.design().container);
    const int parent = host ? host->element : 0;
    e.element = newElement();
    page::create(e.element, tagFor(c.kind()), parent);
    if (isForm) views_.setForm(e.element);
    else if (!ui::isLightweight(c.kind())) e.own = e.element;
    e.font = cssFont(c.design().font, ui::fontPixels(c.design().font, dpi_));
    // What a screen reader meets; the rest is left out of the tree.
    const ui::Role role = ui::accessibleRole(c);
    if (!ui::inAccessibleTree(c)) page::attribute(e.element, "aria-hidden", "true");
    page::attribute(e.element, "role", roleFor(role));
    if (role != ui::Role::Text && role != ui::Role::None) page::attribute(e.element, "aria-label", ui::accessibleName(c));
    page::attribute(e.element, "aria-description", ui::accessibleDescription(c));
    if (!c.design().tooltip.empty()) page::attribute(e.element, "title", c.design().tooltip);
    // Where the mouse is tracked per container, as on the desktop.
    if (isForm || c.kind() == ui::Kind::Frame || c.kind() == ui::Kind::PictureBox || c.kind() == ui::Kind::ListBox)
        page::attribute(e.element, "data-pointer", "1");
    if (!ui::isLightweight(c.kind())) page::attribute(e.element, "tabindex", "-1");
    if (c.kind() == ui::Kind::ComboBox || c.kind() == ui::Kind::ListBox) {
        page::options(e.element, c.design().items);
        applySelection(e);
    }
    if (!c.design().picture.empty()) {
        // The design's size is the plain artwork's.
        page::pictureSize(pictureSource(c.design().picture, 1), e.pictureWidth, e.pictureHeight);
        if (c.kind() == ui::Kind::PictureBox) {
            e.picture = newElement();
            page::create(e.picture, page::Tag::Image, e.element);
            page::attribute(e.picture, "aria-hidden", "true");
            showPicture(e);
        } else if (c.kind() == ui::Kind::Image) {
            showPicture(e);
            // A picture that takes a click is a button named as one; only a decoration has no words.
            page::attribute(e.element, "alt", role == ui::Role::None ? "" : ui::accessibleName(c));
        }
    }
    if (c.kind() == ui::Kind::Frame && c.design().bordered) {
        for (int& part : e.parts) {
            part = newElement();
            page::create(part, page::Tag::Box, e.element);
            page::attribute(part, "aria-hidden", "true");
        }
    }
}

void FormPage::fit(Element& e) {
    ui::Control& c = *e.control;
    e.fit = ui::fitLabel(c, ui::fontPixels(c.design().font, dpi_), Measure(c.design().font), dpi_);
}

int FormPage::fittingDpi() {
    const page::Viewport v = page::viewport();
    densityPercent_ = v.densityPercent;
    return ui::fittingDpi(views_.controls(), v.width, v.height);
}

// The plain artwork where a design pixel is at most a device pixel; beyond,
// the one drawn at three times the size, sharp up to three. The plain one
// paints far faster, as the start shows.
void FormPage::showPicture(Element& e) {
    const int density = dpi_ * densityPercent_ > ui::kDesignDpi * 100 ? kArtworkScale : 1;
    if (density == e.density) return;
    e.density = density;
    page::picture(e.picture ? e.picture : e.element, pictureSource(e.control->design().picture, density),
                  ui::clearColor(*e.control));
}

void FormPage::fitScreen() {
    const int density = densityPercent_;
    const int dpi = fittingDpi();
    if (dpi == dpi_ && density == densityPercent_) return;
    dpi_ = dpi;
    for (Element& e : views_.all()) {
        e.font = cssFont(e.control->design().font, ui::fontPixels(e.control->design().font, dpi_));
        if (e.control->kind() == ui::Kind::Label) fit(e);
    }
    for (Element& e : views_.all()) {
        draw(e);
        if (e.density) showPicture(e);
    }
    views_.notePainted(dpi_);
    // The ring goes round the controls' new boxes, in bands of the new width.
    rules_->toolkitFocusMoved();
    ringMoved(rules_->ring(), rules_->ring());
}

void FormPage::draw(Element& e) {
    ui::Control& c = *e.control;
    if (!e.element) return;
    const int z = layer(views_, c);
    std::string s = "z-index:" + std::to_string(z) + ";";
    const ui::PixelBox box = ui::pixelBox(c, dpi_);
    switch (c.kind()) {
    case ui::Kind::Form:
        // The window covers the screen, whatever the design's size.
        s += "left:0;top:0;width:100%;height:100%;background:" + css(c.backColor()) + ";";
        break;
    case ui::Kind::Label: {
        page::place(e.element, box.x, box.y, box.width, box.height);
        const ui::LabelLook look = ui::labelLook(c, e.fit, dpi_);
        if (look.fill) s += "background:" + css(*look.fill) + ";";
        s += "color:" + css(look.ink) + ";font:" + (e.fit.shrunk ? cssFont(c.design().font, e.fit.pixels) : e.font) +
             ";";
        s += look.align == ui::Align::Center ? "text-align:center;" : look.align == ui::Align::Right ? "text-align:right;" : "";
        s += look.wrap ? "white-space:pre-wrap;" : "white-space:pre;";
        if (look.text.top != box.y) s += "padding-top:" + px(look.text.top - box.y) + ";";
        page::text(e.element, c.caption());
        break;
    }
    case ui::Kind::Shape: {
        page::place(e.element, box.x, box.y, box.width, box.height);
        const ui::ShapeLook look = ui::shapeLook(c, dpi_);
        const std::string border = px(look.borderWidth) + " solid " + css(look.border);
        switch (look.shape) {
        case ui::ShapeKind::Rectangle: s += "border:" + border + ";"; break;
        case ui::ShapeKind::RoundedRectangle:
            s += "border:" + border + ";background:" + css(look.fill) + ";border-radius:" +
                 px(static_cast<int>(std::lround(ui::cornerRadius(box.width - look.borderWidth,
                                                                  box.height - look.borderWidth)))) +
                 ";";
            break;
        case ui::ShapeKind::Dot: s += "background:" + css(look.fill) + ";border-radius:50%;"; break;
        case ui::ShapeKind::None: break;
        }
        break;
    }
    case ui::Kind::Line: {
        const ui::LineLook look = ui::lineLook(c, dpi_);
        const double dx = look.x2 - look.x1, dy = look.y2 - look.y1;
        const int length = static_cast<int>(std::lround(std::hypot(dx, dy)));
        const int w = look.width;
        // A bar as long as the line plus its round caps, turned about its start.
        page::place(e.element, look.x1 - w / 2, look.y1 - w / 2, length + w, w);
        s += "background:" + css(look.ink) + ";border-radius:" + px(w) + ";transform-origin:" + px(w / 2) + " " +
             px(w / 2) + ";transform:rotate(" + std::to_string(std::atan2(dy, dx)) + "rad);";
        break;
    }
    case ui::Kind::Image:
        page::place(e.element, box.x, box.y, box.width, box.height);
        break;
    case ui::Kind::PictureBox: {
        page::place(e.element, box.x, box.y, box.width, box.height);
        s += "background:" + css(ui::pictureBoxBack(views_.controls(), c)) + ";";
        const ui::Rect r = ui::centred(box.width, box.height, ui::scaledPixels(e.pictureWidth, dpi_),
                                       ui::scaledPixels(e.pictureHeight, dpi_));
        if (e.picture) page::place(e.picture, r.left, r.top, r.right - r.left, r.bottom - r.top);
        break;
    }
    case ui::Kind::Frame: {
        page::place(e.element, box.x, box.y, box.width, box.height);
        s += "background:" + css(c.backColor()) + ";";
        if (!e.parts[0]) break;
        const page::Metrics m = page::measure(e.font, c.caption());
        const ui::FrameLook look = ui::frameLook(c, box.width, box.height, m.advance, m.line, dpi_);
        const auto outline = [&](int id, const ui::Rect& r, ui::Color colour) {
            page::place(id, r.left, r.top, r.right - r.left, r.bottom - r.top);
            page::style(id, "box-sizing:border-box;border:" + px(look.line) + " solid " + css(colour) + ";");
        };
        outline(e.parts[0], look.shadow, look.shadowColor);
        outline(e.parts[1], look.light, look.lightColor);
        const ui::Rect& r = look.caption;
        page::place(e.parts[2], r.left, r.top, r.right - r.left, r.bottom - r.top);
        page::style(e.parts[2], "background:" + css(look.back) + ";color:" + css(look.captionInk) + ";font:" + e.font +
                                    ";text-align:center;white-space:pre;" + (c.caption().empty() ? "display:none;" : ""));
        page::text(e.parts[2], c.caption());
        break;
    }
    case ui::Kind::Button: {
        page::place(e.element, box.x, box.y, box.width, box.height);
        s += "font:" + e.font + ";";
        if (c.design().graphical) {
            const ui::ButtonLook look = ui::buttonLook(c, e.held, box.width, box.height, dpi_);
            const int edge = look.edges[0].rect.bottom - look.edges[0].rect.top;
            s += "background:" + css(look.face) + ";border-style:solid;border-width:" + px(edge) + ";border-color:" +
                 css(look.edges[0].color) + " " + css(look.edges[3].color) + " " + css(look.edges[2].color) + " " +
                 css(look.edges[1].color) + ";padding:" + px(look.sink) + " 0 0 " + px(look.sink) + ";";
            if (look.greyed) s += "color:" + css(ui::kDisabledText) + ";";
        }
        page::text(e.element, c.caption());
        break;
    }
    case ui::Kind::ComboBox:
        page::place(e.element, box.x, box.y, box.width, box.height);
        s += "font:" + e.font + ";";
        break;
    case ui::Kind::ListBox:
        // A list's sunken field, white to pick from, greyed while it is off.
        page::place(e.element, box.x, box.y, box.width, box.height);
        s += "font:" + e.font + ";border:" + px(ui::scaledPixels(1, dpi_)) + " solid #a0a0a0;padding:" +
             px(ui::scaledPixels(2, dpi_)) + ";background:" +
             (c.enabled() ? css(ui::kWhite) + ";" : "#efefef;color:" + css(ui::kDisabledText) + ";");
        break;
    case ui::Kind::Timer: break;
    }
    page::style(e.element, s);
    page::shown(e.element, c.visible());
    page::enabled(e.element, c.enabled());
    if (ui::inAccessibleTree(c) && ui::accessibleRole(c) != ui::Role::Text) {
        const std::string name = ui::accessibleName(c);
        page::attribute(e.element, "aria-label", name);
    }
}

void FormPage::applySelection(Element& e) { page::selected(e.element, e.control->selectedIndex()); }

void FormPage::changed(std::size_t row, ui::Change change) {
    Element& e = views_.all()[row];
    ui::Control& c = *e.control;
    const ui::Redraw r = ui::whatChangeNeeds(c, change);
    if (r.wholeForm) draw(e);
    if (!r.tell) return;
    if (r.refit) fit(e);
    if (r.text || r.show || r.enable || r.place || r.backColor || r.redrawOwn || r.repaint) draw(e);
    if (r.comboSelection || r.listSelection) applySelection(e);
    if (r.focus) rules_->focus(c);
    rules_->changed(c, change);
}

void FormPage::focusOnClick(ui::Control& c) { rules_->clicked(c); }

// ---- the page's events ---------------------------------------------------------

Element* FormPage::byElement(int id) {
    if (id)
        for (Element& v : views_.all())
            if (v.element == id) return &v;
    return nullptr;
}

void FormPage::handle(const page::Event& e) {
    Element* on = byElement(e.a);
    switch (e.kind) {
    case page::EventKind::Pointer:
        if (on) pointer(*on->control, e);
        break;
    case page::EventKind::Click:
        if (!on) break;
        // A press by a key or an assistive tool; the mouse's clicks on a push
        // button are the button's own.
        if (e.b == 0) activate(*on->control);
        else if (on->control->kind() == ui::Kind::Button) {
            focusOnClick(*on->control);
            userEvent(*on->control);
        }
        break;
    case page::EventKind::Pick:
        if (on) pick(*on->control, e.b);
        break;
    case page::EventKind::Key: key(e); break;
    case page::EventKind::Tick:
        if (onTick) onTick();
        break;
    case page::EventKind::FocusMoved:
        rules_->toolkitFocusMoved();
        tellActiveDescendants();
        break;
    case page::EventKind::Active: rules_->activation(e.b != 0); break;
    case page::EventKind::Held:
        if (e.b) rules_->pointerPressed();
        if (on && on->held != (e.b != 0)) {
            on->held = e.b != 0;
            draw(*on);
        }
        break;
    case page::EventKind::Repair:
        repairQueued_ = false;
        rules_->repair();
        tellActiveDescendants();
        break;
    case page::EventKind::Resized:
        fitScreen();
        if (onResized) onResized();
        break;
    case page::EventKind::None: break;
    }
}

void FormPage::pointer(ui::Control& container, const page::Event& e) {
    // Any press hides the ring, as a click does on the desktop.
    if (e.b != 2) rules_->pointerPressed();
    if (container.kind() == ui::Kind::ListBox) {
        // The page's list does not move its selection under the held button
        // as a native one does: the entry released on counts as selected.
        const int entry = e.inside ? e.entry : -1;
        if (e.b != 2) listPress_.press(container.selectedIndex());
        else if (const int row = listPress_.release(entry >= 0 ? entry : container.selectedIndex(), entry); row >= 0)
            pick(container, row);
        return;
    }
    ui::Control* under = container.kind() == ui::Kind::PictureBox
                             ? (e.inside ? &container : nullptr)
                             : views_.lightweightAt(container.kind() == ui::Kind::Form ? "" : container.name(), e.x, e.y,
                                                   dpi_);
    const std::string& name = container.name();
    if (e.b == 0) pointerPressed(name, under);
    else if (e.b == 1) pointerDoubleClicked(name);
    else pointerReleased(name, under, e.inside);
}

void FormPage::key(const page::Event& e) {
    const ui::KeyPress k = keyPress(e);
    if (rules_->key(k)) return;
    // The list box's own arrows move its selection, and each move is a pick.
    ui::Control* f = rules_->focused();
    if (f && f->kind() == ui::Kind::ListBox && (e.key == "ArrowUp" || e.key == "ArrowDown")) {
        const int now = f->selectedIndex();
        const int to = now < 0 ? 0 : now + (e.key == "ArrowDown" ? 1 : -1);
        if (to >= 0 && to < f->itemCount() && to != now) pick(*f, to);
    }
}

void FormPage::tellActiveDescendants() {
    // The window and the frames hold the focus of the labels and images they paint.
    for (Element& v : views_.all()) {
        if (v.control->kind() != ui::Kind::Form && v.control->kind() != ui::Kind::Frame) continue;
        const ui::Control* inside = rules_->lightweightFocusIn(*v.control);
        const Element* held = inside ? views_.find(inside->name()) : nullptr;
        page::attribute(v.element, "aria-activedescendant",
                        held ? "e" + std::to_string(held->element) : "");
    }
}

// ---- the focus host ---------------------------------------------------------------

ui::Control* FormPage::toolkitFocus() const {
    const int id = page::focused();
    if (!id) return nullptr;
    for (const Element& v : views_.all())
        if (v.element == id && hasWidget(*v.control)) return v.control;
    return nullptr;
}

bool FormPage::hasWidget(const ui::Control& c) const { return views_.ownFor(c.name()) != 0; }

void FormPage::giveFocus(ui::Control& c, ui::FocusCause) {
    if (const int id = views_.ownFor(c.name())) page::focus(id);
}

void FormPage::focusMovedInside(ui::Control&) { tellActiveDescendants(); }

void FormPage::queueRepair() {
    if (repairQueued_) return;
    repairQueued_ = true;
    page::post(page::EventKind::Repair);
}

void FormPage::ringMoved(const ui::RingPlace&, const ui::RingPlace& to) {
    const int in = to.shown() ? views_.ownFor(to.container) : 0;
    if (!in) {
        for (int band : ring_)
            if (band) page::shown(band, false);
        return;
    }
    const auto bands = ui::ringBands(to.around, dpi_);
    for (int i = 0; i < 4; ++i) {
        if (!ring_[i]) ring_[i] = newElement();
        page::create(ring_[i], page::Tag::Box, in);  // made once, moved to the container
        page::attribute(ring_[i], "aria-hidden", "true");
        page::place(ring_[i], bands[i].x, bands[i].y, bands[i].width, bands[i].height);
        page::style(ring_[i], "background:" + css(ui::kFocusRing) + ";z-index:" +
                                  std::to_string(4 * static_cast<int>(views_.all().size())) + ";");
        page::shown(ring_[i], true);
    }
    tellActiveDescendants();
}

bool FormPage::listOpen(const ui::Control&) const { return false; }  // an open list's keys never reach the page

void FormPage::showList(ui::Control& list, bool open) {
    if (open) page::openList(views_.ownFor(list.name()));
}

void FormPage::press(ui::Control& c) { activate(c); }

void FormPage::pickCurrentEntry(ui::Control& list) {
    const int row = list.selectedIndex() < 0 ? 0 : list.selectedIndex();
    if (row < list.itemCount()) pick(list, row);
}

}  // namespace web
