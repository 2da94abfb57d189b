// SPDX-License-Identifier: GPL-3.0-or-later
// What a binding keeps of each control it shows, and what a change of the
// model asks of it. The table holds what every binding shares (the control,
// the area a lightweight control was last painted in, a label's fitted
// caption, the lightweight controls of each container front to back); a
// binding's entry adds only its toolkit's objects: its own widget or window,
// fonts and pictures.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ui/control.h"
#include "ui/look.h"
#include "ui/placement.h"

namespace ui {

// The shared part of an entry; a binding's entry derives from it.
struct View {
    Control* control = nullptr;
    Rect painted;  // lightweight controls: the area last drawn
    // Fixed-size labels: how a too-wide caption is drawn.
    CaptionFit fit;
};

// The smallest rectangle holding both; an empty one holds nothing.
Rect unite(const Rect& a, const Rect& b);

// One entry per control, in table order. Own is the entry's member that holds
// the toolkit's object of a control shown by one of its own (null for the
// controls a container paints); the form's object is kept apart.
template <class Entry, auto Own>
class ViewTable {
public:
    using Handle = std::remove_cvref_t<decltype(std::declval<Entry&>().*Own)>;

    explicit ViewTable(Controls& controls) : controls_(controls) {
        views_.reserve(controls_.all().size());
        for (auto& c : controls_.all()) {
            Entry e{};
            e.control = c.get();
            index_[c->name()] = views_.size();
            if (c->kind() == Kind::Form) formName_ = c->name();
            views_.push_back(std::move(e));
        }
        // The entries stay where they are from here on.
        for (Entry& e : views_)
            if (isLightweight(e.control->kind())) layers_[e.control->design().container].push_back(&e);
    }
    ViewTable(const ViewTable&) = delete;  // the layers point into the entries
    ViewTable& operator=(const ViewTable&) = delete;

    Controls& controls() const { return controls_; }
    // The window's own control name.
    const std::string& formName() const { return formName_; }
    // The toolkit's object of the form itself.
    Handle form() const { return form_; }
    void setForm(Handle form) { form_ = form; }

    std::vector<Entry>& all() { return views_; }
    const std::vector<Entry>& all() const { return views_; }
    Entry* find(std::string_view name) {
        auto it = index_.find(std::string(name));
        return it == index_.end() ? nullptr : &views_[it->second];
    }
    const Entry* find(std::string_view name) const {
        auto it = index_.find(std::string(name));
        return it == index_.end() ? nullptr : &views_[it->second];
    }
    // The control of that name; nullptr when there is none.
    Control* control(std::string_view name) const {
        const Entry* e = find(name);
        return e ? e->control : nullptr;
    }
    // The entry whose own object that is; nullptr for none.
    Entry* byOwn(Handle own) {
        if (!own) return nullptr;
        for (Entry& e : views_)
            if (e.*Own == own) return &e;
        return nullptr;
    }

    // The object that shows a control: the form's for the form, the
    // control's own, or null for the controls a container paints.
    Handle ownFor(std::string_view name) const {
        if (name == formName_) return form_;
        const Entry* e = find(name);
        return e ? e->*Own : Handle{};
    }
    // The object that paints a container's lightweight controls: the form's
    // for the form (or no container), else the frame's.
    Handle containerOf(std::string_view container) const {
        return container.empty() ? form_ : ownFor(container);
    }

    // The labels, shapes, lines and images a container paints, front to back.
    const std::vector<Entry*>& layer(std::string_view container) const {
        static const std::vector<Entry*> none;
        auto it = layers_.find(std::string(container));
        return it == layers_.end() ? none : it->second;
    }
    // The front-most visible, enabled label or image of a container under a
    // point given in that container's pixels; nullptr when there is none.
    Control* lightweightAt(std::string_view container, int x, int y, int dpi = kDesignDpi) const {
        return ui::lightweightAt(controls_, container, x, y, dpi);
    }

    // Every lightweight control as painted now, at a scale.
    void notePainted(int dpi = kDesignDpi) {
        for (Entry& e : views_)
            if (isLightweight(e.control->kind())) e.painted = paintBounds(*e.control, dpi);
    }
    // What a lightweight control's container repaints after a change: where
    // it was and where it is now, which it then remembers. Only that much,
    // since the logic changes captions in its busy loops.
    Rect repaintArea(Entry& e, int dpi = kDesignDpi) {
        const Rect now = paintBounds(*e.control, dpi);
        const Rect both = unite(e.painted, now);
        e.painted = now;
        return both;
    }

private:
    Controls& controls_;
    std::string formName_;
    Handle form_{};
    std::vector<Entry> views_;  // table order
    std::unordered_map<std::string, std::size_t> index_;
    std::unordered_map<std::string, std::vector<Entry*>> layers_;
};

// What a change of a control asks of a binding. The binding carries out each
// flag with toolkit calls, in this order: refit, then its object's, then
// the container's repaint.
struct Redraw {
    bool wholeForm = false;  // the form's own change: the whole window repaints
    bool refit = false;      // a label's caption is fitted to it again
    bool text = false;       // its own object, if any, takes the new caption
    bool show = false;       // its own object, if any, is shown or hidden
    bool enable = false;     // its own object, if any, is enabled or disabled
    bool place = false;      // its own object, if any, is moved and sized
    bool backColor = false;  // a flat button takes its new colours
    bool redrawOwn = false;  // its own object draws itself again
    bool repaint = false;    // the container repaints where it was and is (repaintArea)
    bool comboSelection = false;  // a combo box shows the model's entry
    bool listSelection = false;   // a list box marks the model's entry
    bool focus = false;           // the keyboard focus moves to it
    bool tell = false;            // the focus rules and the screen readers hear of it
    friend bool operator==(const Redraw&, const Redraw&) = default;
};
Redraw whatChangeNeeds(const Control& c, Change change);

}  // namespace ui
