// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/accessibility.h"

#include <unordered_map>

namespace ui {
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
        {"Picture1", {"Speech on", "Switches the voice off", false, true}},
        {"Picture2", {"Speech off", "Switches the voice on", false, true}},
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

std::string trimmed(const std::string& s) {
    constexpr const char* kSpace = " \t\n\v\f\r";
    const auto first = s.find_first_not_of(kSpace);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

}  // namespace

const AccessibleText* accessibleText(std::string_view control) {
    auto it = table().find(control);
    return it == table().end() ? nullptr : &it->second;
}

std::string accessibleName(const Control& c) {
    if (const AccessibleText* t = accessibleText(c.name())) {
        std::string name = t->name;
        if (t->withCaption && !c.caption().empty()) name += ": " + c.caption();
        return name;
    }
    switch (c.kind()) {
    case Kind::Frame:
        if (!c.design().bordered) return {};
        [[fallthrough]];
    case Kind::Form:
        return trimmed(c.caption());
    default:
        return c.caption();  // a label without words of its own reads its caption
    }
}

std::string accessibleDescription(const Control& c) {
    const AccessibleText* t = accessibleText(c.name());
    return t ? t->description : std::string();
}

Role accessibleRole(const Control& c) {
    switch (c.kind()) {
    case Kind::Form: return Role::Window;
    case Kind::Frame: return Role::Grouping;
    // A picture box, and a label or image that takes a click, is a button as
    // far as the child is concerned.
    case Kind::PictureBox: return Role::Button;
    case Kind::Label: return c.handler ? Role::Button : Role::Text;
    case Kind::Image: return c.handler ? Role::Button : Role::None;
    // A button without words of its own (the focus button) must not read
    // out its design caption.
    case Kind::Button: return accessibleText(c.name()) ? Role::PushButton : Role::Plain;
    case Kind::ComboBox: return Role::ComboBox;
    case Kind::ListBox: return Role::List;
    case Kind::Shape:
    case Kind::Line:
    case Kind::Timer: return Role::None;
    }
    return Role::None;
}

bool namedByShowing(const Control& c) {
    const AccessibleText* t = accessibleText(c.name());
    return t && t->namedByShowing;
}

}  // namespace ui
