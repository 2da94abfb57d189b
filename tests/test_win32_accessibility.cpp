// SPDX-License-Identifier: GPL-3.0-or-later
// The window's MSAA objects, asked the way a tool asks them
// (AccessibleObjectFromWindow), over a few real windows of the form: the
// card, the panel, the answers' frame and the first answer; the other
// controls are painted.
#include <gtest/gtest.h>
#include <oleacc.h>
#include <windows.h>

#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "ui/control.h"
#include "ui/control_table.h"
#include "win32/accessibility.h"

namespace {

win32::Accessibility* current = nullptr;

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    if (current && current->answer(hwnd, msg, wp, lp, result)) return result;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

VARIANT id(LONG child) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = child;
    return v;
}

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A node of the tree: an object and a child id in it.
struct Node {
    IAccessible* object = nullptr;
    LONG child = CHILDID_SELF;

    std::string name() const {
        BSTR s = nullptr;
        if (object->get_accName(id(child), &s) != S_OK) return "";
        std::string out(s, s + SysStringLen(s));
        SysFreeString(s);
        return out;
    }
    LONG role() const {
        VARIANT v;
        return SUCCEEDED(object->get_accRole(id(child), &v)) && v.vt == VT_I4 ? v.lVal : -1;
    }
    LONG state() const {
        VARIANT v;
        return SUCCEEDED(object->get_accState(id(child), &v)) && v.vt == VT_I4 ? v.lVal : -1;
    }
};

class Win32AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        WNDCLASSW wc{};
        wc.lpfnWndProc = windowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"AbacornAccessibilityTest";
        RegisterClassW(&wc);
        // The controls that take a click, as the window object binds them.
        for (const char* name : {"frmSplash", "lblClickMe", "lbl1", "Command1"})
            controls[name].handler = [this, name] { raised.push_back(name); };
        make("frmSplash", nullptr);
        make("Frame1", windows["frmSplash"]);
        make("lblClickMe", windows["Frame1"]);
        make("frameChoices", windows["Frame1"]);
        make("lbl1", windows["frameChoices"]);
        accessibility = std::make_unique<win32::Accessibility>(controls, win32::Accessibility::Binding{
            [this](const ui::Control& c) {
                auto it = windows.find(c.name());
                return it == windows.end() ? HWND{} : it->second;
            },
            [](const ui::Control&) { return RECT{0, 0, 10, 10}; },
            [this](ui::Control& c) { pressed.push_back(c.name()); }});
        current = accessibility.get();
        ASSERT_EQ(AccessibleObjectFromWindow(windows["frmSplash"], static_cast<DWORD>(OBJID_CLIENT),
                                             __uuidof(IAccessible), reinterpret_cast<void**>(&root)),
                  S_OK);
    }
    void TearDown() override {
        for (IAccessible* o : held) o->Release();
        if (root) root->Release();
        if (IsWindow(windows["frmSplash"])) DestroyWindow(windows["frmSplash"]);
        current = nullptr;
        accessibility.reset();
        UnregisterClassW(L"AbacornAccessibilityTest", GetModuleHandleW(nullptr));
        CoUninitialize();
    }

    void make(const std::string& name, HWND parent) {
        windows[name] = CreateWindowExW(0, L"AbacornAccessibilityTest", wide(name).c_str(),
                                        parent ? WS_CHILD : WS_POPUP, 0, 0, 10, 10, parent, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    }

    // The first node of that name under `under`, depth first, through the
    // tool's own call.
    Node find(const std::string& name, IAccessible* under = nullptr) {
        if (!under) under = root;
        LONG count = 0;
        under->get_accChildCount(&count);
        std::vector<VARIANT> children(static_cast<std::size_t>(count));
        LONG got = 0;
        AccessibleChildren(under, 0, count, children.data(), &got);
        Node found;
        for (LONG i = 0; i < got; ++i) {
            VARIANT& v = children[static_cast<std::size_t>(i)];
            if (found.object) {
                VariantClear(&v);
                continue;
            }
            if (v.vt == VT_I4 && Node{under, v.lVal}.name() == name) found = {under, v.lVal};
            if (v.vt == VT_DISPATCH) {
                IAccessible* child = nullptr;
                v.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&child));
                held.push_back(child);
                found = Node{child}.name() == name ? Node{child} : find(name, child);
            }
            VariantClear(&v);
        }
        return found;
    }

    // The object of a control's own window, as a tool gets it.
    IAccessible* objectOf(const std::string& name) {
        IAccessible* o = nullptr;
        AccessibleObjectFromWindow(windows[name], static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&o));
        if (o) held.push_back(o);
        return o;
    }
    // The name of the node a VARIANT answered by `in` names.
    std::string nameOf(IAccessible* in, VARIANT& v) {
        std::string name = v.vt == VT_I4 ? Node{in, v.lVal}.name() : "";
        if (v.vt == VT_DISPATCH) {
            IAccessible* o = nullptr;
            v.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&o));
            if (o) held.push_back(o);
            name = o ? Node{o}.name() : "";
        }
        VariantClear(&v);
        return name;
    }

    void pumpMessages() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }

    ui::Controls controls{ui::controlTable()};
    std::unordered_map<std::string, HWND> windows;
    std::unique_ptr<win32::Accessibility> accessibility;
    IAccessible* root = nullptr;
    std::vector<IAccessible*> held;
    std::vector<std::string> raised, pressed;
};

TEST_F(Win32AccessibilityTest, NamesRolesAndStatesAreTheModelsWindowedOrPainted) {
    EXPECT_EQ(Node{root}.name(), "Abacorn");
    EXPECT_EQ(Node{root}.role(), ROLE_SYSTEM_WINDOW);
    // A control with a window is an object of its own; a painted one a
    // simple element of its container.
    const Node card = find("Flash card");
    ASSERT_TRUE(card.object);
    EXPECT_EQ(card.child, CHILDID_SELF);
    EXPECT_EQ(card.role(), ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_TRUE(card.state() & STATE_SYSTEM_FOCUSABLE);
    const Node close = find("Close Program");
    ASSERT_TRUE(close.object);
    EXPECT_NE(close.child, CHILDID_SELF);
    EXPECT_EQ(close.role(), ROLE_SYSTEM_PUSHBUTTON);
    const Node version = find("version 2.2");
    ASSERT_TRUE(version.object);
    EXPECT_EQ(version.role(), ROLE_SYSTEM_STATICTEXT);
    EXPECT_FALSE(version.state() & STATE_SYSTEM_INVISIBLE);
    // The card's numbers are text, hidden until dealt.
    const Node number = find("99");
    ASSERT_TRUE(number.object);
    EXPECT_EQ(number.role(), ROLE_SYSTEM_STATICTEXT);
    EXPECT_TRUE(number.state() & STATE_SYSTEM_INVISIBLE);
    // An answer is invisible while its frame is hidden, and reads its number.
    const Node answer = find("Answer 1");
    ASSERT_TRUE(answer.object);
    EXPECT_TRUE(answer.state() & STATE_SYSTEM_INVISIBLE);
    controls["frameChoices"].setVisible(true);
    controls["lbl1"].setCaption("21");
    EXPECT_EQ(answer.name(), "Answer 1: 21");
    EXPECT_FALSE(answer.state() & STATE_SYSTEM_INVISIBLE);
    controls["lbl1"].setEnabled(false);
    EXPECT_TRUE(answer.state() & STATE_SYSTEM_UNAVAILABLE);
}

TEST_F(Win32AccessibilityTest, APressRunsFromTheQueueAndOnlyOnWhatAClickReaches) {
    const Node card = find("Flash card");
    ASSERT_TRUE(card.object);
    EXPECT_EQ(card.object->accDoDefaultAction(id(card.child)), S_OK);
    EXPECT_TRUE(pressed.empty());  // not inside the tool's call
    pumpMessages();
    EXPECT_EQ(pressed, std::vector<std::string>{"lblClickMe"});
    // A hidden answer takes no press, nor does a text.
    const Node answer = find("Answer 1");
    EXPECT_EQ(answer.object->accDoDefaultAction(id(answer.child)), E_FAIL);
    const Node version = find("version 2.2");
    EXPECT_EQ(version.object->accDoDefaultAction(id(version.child)), DISP_E_MEMBERNOTFOUND);
    // Pressed, then hidden before the queue gets to it: no press.
    controls["frameChoices"].setVisible(true);
    EXPECT_EQ(answer.object->accDoDefaultAction(id(answer.child)), S_OK);
    controls["frameChoices"].setVisible(false);
    pumpMessages();
    EXPECT_EQ(pressed, std::vector<std::string>{"lblClickMe"});
    EXPECT_TRUE(raised.empty());  // the binding's press, never the handler itself
}

TEST_F(Win32AccessibilityTest, NavigationWalksTheChildrenAToolEnumeratesHiddenOnesIncluded) {
    IAccessible* frame = objectOf("Frame1");
    ASSERT_TRUE(frame);
    LONG count = 0;
    frame->get_accChildCount(&count);
    ASSERT_GT(count, 2);
    std::vector<VARIANT> children(static_cast<std::size_t>(count));
    LONG got = 0;
    AccessibleChildren(frame, 0, count, children.data(), &got);
    std::vector<std::string> listed;
    for (VARIANT& v : children) listed.push_back(nameOf(frame, v));

    // First, then next from each child id in turn; last, then previous.
    std::vector<std::string> forward, backward;
    VARIANT v;
    ASSERT_EQ(frame->accNavigate(NAVDIR_FIRSTCHILD, id(CHILDID_SELF), &v), S_OK);
    forward.push_back(nameOf(frame, v));
    for (LONG i = 1; frame->accNavigate(NAVDIR_NEXT, id(i), &v) == S_OK; ++i) forward.push_back(nameOf(frame, v));
    ASSERT_EQ(frame->accNavigate(NAVDIR_LASTCHILD, id(CHILDID_SELF), &v), S_OK);
    backward.push_back(nameOf(frame, v));
    for (LONG i = count; frame->accNavigate(NAVDIR_PREVIOUS, id(i), &v) == S_OK; --i)
        backward.insert(backward.begin(), nameOf(frame, v));
    EXPECT_EQ(forward, listed);
    EXPECT_EQ(backward, listed);

    // The object itself has no siblings here; a child has no children, nor
    // does any node lead up or across the screen.
    EXPECT_EQ(frame->accNavigate(NAVDIR_NEXT, id(CHILDID_SELF), &v), S_FALSE);
    EXPECT_EQ(frame->accNavigate(NAVDIR_FIRSTCHILD, id(1), &v), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(frame->accNavigate(NAVDIR_UP, id(CHILDID_SELF), &v), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(frame->accNavigate(NAVDIR_NEXT, id(count + 1), &v), E_INVALIDARG);
    IAccessible* tile = objectOf("lbl1");
    ASSERT_TRUE(tile);
    EXPECT_EQ(tile->accNavigate(NAVDIR_FIRSTCHILD, id(CHILDID_SELF), &v), S_FALSE);
}

TEST_F(Win32AccessibilityTest, EachContainerNamesTheNodeThatHoldsTheFocus) {
    for (const char* name : {"frmSplash", "Frame1", "frameChoices", "lbl1"}) ShowWindow(windows[name], SW_SHOW);
    SetFocus(windows["lbl1"]);
    ASSERT_EQ(GetFocus(), windows["lbl1"]);
    const std::string frame = Node{objectOf("Frame1")}.name(), choices = Node{objectOf("frameChoices")}.name();
    VARIANT v;
    ASSERT_EQ(root->get_accFocus(&v), S_OK);
    EXPECT_EQ(nameOf(root, v), frame);
    ASSERT_EQ(objectOf("Frame1")->get_accFocus(&v), S_OK);
    EXPECT_EQ(nameOf(nullptr, v), choices);
    ASSERT_EQ(objectOf("lbl1")->get_accFocus(&v), S_OK);
    EXPECT_TRUE(v.vt == VT_I4 && v.lVal == CHILDID_SELF);
    // The card's window holds no focus, nor anything in it.
    EXPECT_EQ(objectOf("lblClickMe")->get_accFocus(&v), S_FALSE);
}

TEST_F(Win32AccessibilityTest, ObjectsHeldPastTheWindowAnswerDisconnected) {
    const Node card = find("Flash card");
    const Node version = find("version 2.2");
    ASSERT_TRUE(card.object && version.object);
    DestroyWindow(windows["frmSplash"]);
    BSTR s = nullptr;
    for (const Node& n : {Node{root}, card, version}) {
        const HRESULT hr = n.object->get_accName(id(n.child), &s);
        EXPECT_TRUE(hr == CO_E_OBJNOTCONNECTED || hr == RPC_E_DISCONNECTED) << std::hex << hr;
        EXPECT_EQ(n.object->accDoDefaultAction(id(n.child)), hr);
    }
    accessibility.reset();
    current = nullptr;
    EXPECT_TRUE(FAILED(card.object->get_accName(id(CHILDID_SELF), &s)));
    EXPECT_TRUE(pressed.empty());
}

// Calls into a multithreaded apartment would come on COM's own threads,
// beside the window's: such a window leaves tools to the system's objects.
TEST_F(Win32AccessibilityTest, AWindowThreadInAMultithreadedApartmentAnswersNothing) {
    bool answered = true;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            const HWND form = windows["frmSplash"];
            const auto windowOf = [form](const ui::Control& c) { return c.kind() == ui::Kind::Form ? form : HWND{}; };
            const auto noRect = [](const ui::Control&) { return RECT{}; };
            win32::Accessibility mta(controls, {windowOf, noRect, [](ui::Control&) {}});
            LRESULT result = 0;
            answered = mta.answer(form, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT), result);
        }
        CoUninitialize();
    }).join();
    EXPECT_FALSE(answered);
}

}  // namespace
