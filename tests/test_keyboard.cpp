// SPDX-License-Identifier: GPL-3.0-or-later
// The window's keyboard rules that both bindings carry out: what a key does
// to each kind of focused control, the key combinations, and when the focus
// ring shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/keyboard.h"

namespace {

using ui::Key;
using ui::KeyAction;
using ui::KeyPress;
using ui::Kind;

KeyPress shift(Key k) { return {k, 0, true}; }
KeyPress ctrl(Key k, char letter = 0) { return {k, letter, false, true}; }
KeyPress alt(Key k) { return {k, 0, false, false, true}; }
KeyPress meta(Key k) { return {k, 0, false, false, false, true}; }

struct Case {
    KeyPress key;
    Kind focused;
    bool listOpen;
    KeyAction action;
};

TEST(KeyRules, WhatEachKeyDoesToEachKindOfControl) {
    const std::vector<Case> cases = {
        // Space and Enter: a click on the control; a closed list opens, an
        // open one picks with its own keys; with nothing focused, nothing.
        {{Key::Space}, Kind::Label, false, KeyAction::Press},
        {{Key::Enter}, Kind::Image, false, KeyAction::Press},
        {{Key::Space}, Kind::PictureBox, false, KeyAction::Press},
        {{Key::Enter}, Kind::Button, false, KeyAction::Press},
        {{Key::Space}, Kind::ListBox, false, KeyAction::Press},
        {{Key::Space}, Kind::ComboBox, false, KeyAction::OpenList},
        {{Key::Enter}, Kind::ComboBox, false, KeyAction::OpenList},
        {{Key::Enter}, Kind::ComboBox, true, KeyAction::None},
        {{Key::Space}, Kind::Form, false, KeyAction::None},
        // With a modifier they are no press.
        {shift(Key::Space), Kind::Label, false, KeyAction::None},
        {ctrl(Key::Enter), Kind::PictureBox, false, KeyAction::None},
        {alt(Key::Space), Kind::ComboBox, false, KeyAction::None},
        {meta(Key::Enter), Kind::Label, false, KeyAction::None},
        // Tab and Shift+Tab walk, from an open list too; not with Ctrl or Alt.
        {{Key::Tab}, Kind::Label, false, KeyAction::FocusNext},
        {shift(Key::Tab), Kind::ComboBox, true, KeyAction::FocusPrevious},
        {{Key::Tab}, Kind::Form, false, KeyAction::FocusNext},
        {ctrl(Key::Tab), Kind::Label, false, KeyAction::None},
        {alt(Key::Tab), Kind::Label, false, KeyAction::None},
        // Every other key is the control's own: a list's arrows, letters.
        {{Key::Other}, Kind::ComboBox, false, KeyAction::None},
        {{Key::Letter, 'Q'}, Kind::Label, false, KeyAction::None},
        {ctrl(Key::Letter, 'Q'), Kind::Button, false, KeyAction::None},
        {{Key::Modifier}, Kind::ListBox, false, KeyAction::None},
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(ui::keyAction(cases[i].key, cases[i].focused, cases[i].listOpen), cases[i].action)
            << "case " << i;
}

TEST(KeyRules, KeyCombinationsAsTheTableWritesThem) {
    const struct {
        std::string shortcut;
        KeyPress key;
        bool matches;
    } cases[] = {
        {"Ctrl+Q", ctrl(Key::Letter, 'Q'), true},
        {"Ctrl+7", ctrl(Key::Letter, '7'), true},
        {"Ctrl+Q", {Key::Letter, 'Q'}, false},
        {"Ctrl+Q", ctrl(Key::Letter, 'W'), false},
        {"Ctrl+Q", {Key::Letter, 'Q', true, true}, false},         // Ctrl+Shift+Q
        {"Ctrl+Q", {Key::Letter, 'Q', false, true, true}, false},  // Ctrl+Alt+Q
        {"Ctrl+Q", {Key::Letter, 'Q', false, true, false, true}, false},
        {"Ctrl+Q", ctrl(Key::Other), false},
        {"", ctrl(Key::Letter, 'Q'), false},
        {"Alt+Q", {Key::Letter, 'Q', false, false, true}, false},
        {"Ctrl+QQ", ctrl(Key::Letter, 'Q'), false},
    };
    for (const auto& c : cases) EXPECT_EQ(ui::matchesShortcut(c.shortcut, c.key), c.matches) << c.shortcut;
}

TEST(KeyRules, TheRingShowsFromAKeyToThePointer) {
    ui::RingShown ring;
    EXPECT_FALSE(ring.pointerPressed());
    EXPECT_FALSE(ring.keyPressed({Key::Modifier}));  // Shift held for a click
    EXPECT_FALSE(ring.shown());
    EXPECT_TRUE(ring.keyPressed(shift(Key::Tab)));
    EXPECT_FALSE(ring.keyPressed({Key::Space}));  // already shown
    EXPECT_TRUE(ring.shown());
    EXPECT_TRUE(ring.pointerPressed());
    EXPECT_FALSE(ring.shown());
    EXPECT_TRUE(ring.keyPressed({Key::Other}));  // an arrow or Escape too
}

}  // namespace
