// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/accessibility.h"

#include <oleacc.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "ui/accessibility.h"
#include "ui/accessible_tree.h"

namespace win32 {

struct Accessibility::Shared : std::enable_shared_from_this<Accessibility::Shared> {
    ui::Controls* controls = nullptr;  // nullptr once disconnected
    Binding binding;
    UINT pressMessage = 0;
    // The object of each control with a window of its own, made at the first
    // question about it; each holds one reference of ours until disconnect().
    std::unordered_map<const ui::Control*, IAccessible*> objects;
};

namespace {

using Shared = Accessibility::Shared;

// The platform's number for the part a control plays (the same numbers as
// Qt's roles, which took them from here).
LONG roleOf(const ui::Control& c) {
    switch (ui::accessibleRole(c)) {
    case ui::Role::Window: return ROLE_SYSTEM_WINDOW;
    case ui::Role::Grouping: return ROLE_SYSTEM_GROUPING;
    case ui::Role::Button:
    case ui::Role::PushButton: return ROLE_SYSTEM_PUSHBUTTON;
    case ui::Role::Text: return ROLE_SYSTEM_STATICTEXT;
    case ui::Role::Plain: return ROLE_SYSTEM_CLIENT;
    case ui::Role::ComboBox: return ROLE_SYSTEM_COMBOBOX;
    case ui::Role::List: return ROLE_SYSTEM_LIST;
    case ui::Role::None: break;
    }
    return 0;
}

// A painted control's id in its container's object: its place among the
// container's nodes, from 1 (CHILDID_SELF, 0, for none).
LONG childId(const ui::Controls& controls, const ui::Control& c) { return ui::accessibleIndex(controls, c) + 1; }

BSTR bstr(std::string_view utf8) {
    if (utf8.empty()) return nullptr;
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (s) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), s, n);
    return s;
}

// A text property: S_FALSE with no text when the control has none.
HRESULT text(std::string_view utf8, BSTR* out) {
    if (!out) return E_POINTER;
    *out = bstr(utf8);
    return *out ? S_OK : S_FALSE;
}

IAccessible* objectFor(Shared& shared, const ui::Control& c);

// The object behind one window of the binding: the control itself
// (CHILDID_SELF) and, as simple elements, its labels and the images that
// take a click (the entries, for the seconds list). The window's other
// controls are objects of their own.
class Object final : public IAccessible {
public:
    Object(std::shared_ptr<Shared> shared, ui::Control& control) : shared_(std::move(shared)), control_(control) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // IDispatch: tools call IAccessible itself.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (!n) return E_POINTER;
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: the tree.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!live()) return CO_E_OBJNOTCONNECTED;
        if (const ui::Control* up = ui::accessibleParent(*shared_->controls, control_))
            return objectFor(*shared_, *up)->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(out));
        // The form's client area lies in its window, as any window's does.
        const HWND hwnd = shared_->binding.windowOf(control_);
        return hwnd ? CreateStdAccessibleObject(hwnd, OBJID_WINDOW, __uuidof(IDispatch), reinterpret_cast<void**>(out))
                    : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* out) override {
        if (!out) return E_POINTER;
        *out = 0;
        if (!live()) return CO_E_OBJNOTCONNECTED;
        const bool list = control_.kind() == ui::Kind::ListBox;
        *out = list ? control_.itemCount() : static_cast<LONG>(ui::accessibleChildren(*shared_->controls, control_).size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        Target t;
        if (HRESULT hr = resolve(child, t); FAILED(hr)) return hr;
        if (t.item >= 0 || t.control == &control_ || !shared_->binding.windowOf(*t.control)) return S_FALSE;
        return objectFor(*shared_, *t.control)->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(out));
    }

    // IAccessible: what a control says.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        return property(child, out, [](const Target& t) {
            if (t.item >= 0) return t.control->itemText(t.item);
            // A button without words of its own must not read its design caption.
            if (ui::accessibleRole(*t.control) == ui::Role::Plain) return std::string();
            return ui::accessibleName(*t.control);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        return property(child, out,
                        [](const Target& t) { return t.item >= 0 ? std::string() : ui::accessibleValue(*t.control); });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        return property(child, out, [](const Target& t) {
            return t.item >= 0 ? std::string() : ui::accessibleDescription(*t.control);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override {
        return property(child, out,
                        [](const Target& t) { return t.item >= 0 ? std::string() : t.control->design().tooltip; });
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return live() ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
        return property(child, out,
                        [](const Target& t) { return t.item >= 0 ? std::string() : t.control->design().shortcut; });
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        return property(child, out,
                        [](const Target& t) { return t.item < 0 && ui::accessiblePressable(*t.control) ? "Press" : ""; });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        Target t;
        if (HRESULT hr = resolve(child, t); FAILED(hr)) return hr;
        return i4(t.item >= 0 ? ROLE_SYSTEM_LISTITEM : roleOf(*t.control), out);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        Target t;
        if (HRESULT hr = resolve(child, t); FAILED(hr)) return hr;
        const ui::Control& c = *t.control;
        const ui::AccessibleState state = ui::accessibleState(*shared_->controls, c, controlOfWindow(*shared_, GetFocus()));
        LONG s = (state.offered ? 0 : STATE_SYSTEM_INVISIBLE) | (state.unavailable ? STATE_SYSTEM_UNAVAILABLE : 0);
        if (t.item >= 0)
            s |= STATE_SYSTEM_SELECTABLE | (c.selectedIndex() == t.item ? STATE_SYSTEM_SELECTED : 0);
        else
            s |= (state.focusable ? STATE_SYSTEM_FOCUSABLE : 0) | (state.focused ? STATE_SYSTEM_FOCUSED : 0);
        return i4(s, out);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* w, LONG* h, VARIANT child) override {
        if (!x || !y || !w || !h) return E_POINTER;
        *x = *y = *w = *h = 0;
        Target t;
        if (HRESULT hr = resolve(child, t); FAILED(hr)) return hr;
        RECT r{};
        if (t.item >= 0) {
            const HWND hwnd = shared_->binding.windowOf(control_);
            const auto item = static_cast<WPARAM>(t.item);
            if (!hwnd || SendMessageW(hwnd, LB_GETITEMRECT, item, reinterpret_cast<LPARAM>(&r)) == LB_ERR)
                return S_FALSE;
            MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
        } else {
            r = shared_->binding.screenRectOf(*t.control);
        }
        *x = r.left;
        *y = r.top;
        *w = r.right - r.left;
        *h = r.bottom - r.top;
        return S_OK;
    }

    // IAccessible: moving about.
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        if (!live()) return CO_E_OBJNOTCONNECTED;
        const ui::Control* focused = controlOfWindow(*shared_, GetFocus());
        if (focused == &control_) return i4(CHILDID_SELF, out);
        const ui::Control* holder = ui::accessibleFocusPath(*shared_->controls, control_, focused);
        return holder ? node(*holder, out) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        if (!live()) return CO_E_OBJNOTCONNECTED;
        if (control_.kind() != ui::Kind::ListBox) return DISP_E_MEMBERNOTFOUND;
        return control_.selectedIndex() < 0 ? S_FALSE : i4(control_.selectedIndex() + 1, out);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override {
        return live() ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG dir, VARIANT start, VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        Target t;
        if (HRESULT hr = resolve(start, t); FAILED(hr)) return hr;
        // From this object to its children, from a child to its siblings.
        const bool self = t.control == &control_ && t.item < 0;
        const bool sideways = dir == NAVDIR_NEXT || dir == NAVDIR_PREVIOUS;
        const bool down = dir == NAVDIR_FIRSTCHILD || dir == NAVDIR_LASTCHILD;
        if (self ? !down : !sideways)
            return self && sideways ? S_FALSE : DISP_E_MEMBERNOTFOUND;
        if (control_.kind() == ui::Kind::ListBox) {
            const int to = self ? (dir == NAVDIR_FIRSTCHILD ? 0 : control_.itemCount() - 1)
                                : t.item + (dir == NAVDIR_NEXT ? 1 : -1);
            return to >= 0 && to < control_.itemCount() ? i4(to + 1, out) : S_FALSE;
        }
        const ui::Controls& all = *shared_->controls;
        const ui::Control* to = !self           ? ui::accessibleSibling(all, *t.control, dir == NAVDIR_NEXT)
                                : dir == NAVDIR_FIRSTCHILD ? ui::accessibleFirstChild(all, control_)
                                                           : ui::accessibleLastChild(all, control_);
        return to ? node(*to, out) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        if (!live()) return CO_E_OBJNOTCONNECTED;
        const auto inside = [x, y](const RECT& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; };
        if (!inside(shared_->binding.screenRectOf(control_))) return S_FALSE;
        const Accessibility::Binding& b = shared_->binding;
        const ui::Control* hit = ui::accessibleChildAt(
            *shared_->controls, control_, [&](const ui::Control& c) { return inside(b.screenRectOf(c)); },
            [&](const ui::Control& c) { return b.windowOf(c) != nullptr; });
        return hit ? node(*hit, out) : i4(CHILDID_SELF, out);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        Target t;
        if (HRESULT hr = resolve(child, t); FAILED(hr)) return hr;
        if (t.item >= 0 || !ui::accessiblePressable(*t.control)) return DISP_E_MEMBERNOTFOUND;
        if (!ui::takesPress(*shared_->controls, *t.control)) return E_FAIL;
        // The press runs from the window's queue, as a click does: its handler
        // may pause, and must not run inside the tool's call.
        const ui::Control* form = ui::accessibleRoot(*shared_->controls);
        const HWND hwnd = form ? shared_->binding.windowOf(*form) : nullptr;
        const auto& all = shared_->controls->all();
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i].get() == t.control && hwnd && PostMessageW(hwnd, shared_->pressMessage, i, 0)) return S_OK;
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

    static const ui::Control* controlOfWindow(const Shared& shared, HWND hwnd) {
        if (!hwnd || !shared.controls) return nullptr;
        for (const auto& c : shared.controls->all())
            if (shared.binding.windowOf(*c) == hwnd) return c.get();
        return nullptr;
    }

private:
    // What a child id names: a control (this one for CHILDID_SELF), or an
    // entry of this list.
    struct Target {
        ui::Control* control = nullptr;
        int item = -1;
    };

    bool live() const { return shared_->controls != nullptr; }

    HRESULT resolve(const VARIANT& child, Target& t) const {
        if (!live()) return CO_E_OBJNOTCONNECTED;
        if (child.vt != VT_I4) return E_INVALIDARG;
        if (child.lVal == CHILDID_SELF) {
            t.control = &control_;
            return S_OK;
        }
        if (control_.kind() == ui::Kind::ListBox) {
            if (child.lVal < 1 || child.lVal > control_.itemCount()) return E_INVALIDARG;
            t.control = &control_;
            t.item = child.lVal - 1;
            return S_OK;
        }
        t.control = child.lVal > 0 ? ui::accessibleChild(*shared_->controls, control_, child.lVal - 1) : nullptr;
        return t.control ? S_OK : E_INVALIDARG;
    }

    template <class Read>
    HRESULT property(const VARIANT& child, BSTR* out, Read read) const {
        if (!out) return E_POINTER;
        *out = nullptr;
        Target t;
        if (HRESULT hr = resolve(child, t); FAILED(hr)) return hr;
        return text(read(t), out);
    }

    // A node of this object: the object of a control with a window of its
    // own, else the painted control's child id.
    HRESULT node(const ui::Control& c, VARIANT* out) const {
        if (!shared_->binding.windowOf(c)) return i4(childId(*shared_->controls, c), out);
        IDispatch* object = nullptr;
        if (HRESULT hr = objectFor(*shared_, c)->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(&object));
            FAILED(hr))
            return hr;
        out->vt = VT_DISPATCH;
        out->pdispVal = object;
        return S_OK;
    }
    // A number answered in a VARIANT.
    static HRESULT i4(LONG value, VARIANT* out) {
        out->vt = VT_I4;
        out->lVal = value;
        return S_OK;
    }

    std::shared_ptr<Shared> shared_;
    ui::Control& control_;  // the model's; asked only while shared_ is connected
    LONG refs_ = 1;
};

IAccessible* objectFor(Shared& shared, const ui::Control& c) {
    auto [it, made] = shared.objects.try_emplace(&c, nullptr);
    if (made) it->second = new Object(shared.shared_from_this(), const_cast<ui::Control&>(c));
    return it->second;
}

DWORD winEvent(ui::AccessibleEvent e) {
    switch (e) {
    case ui::AccessibleEvent::NameChanged: return EVENT_OBJECT_NAMECHANGE;
    case ui::AccessibleEvent::ValueChanged: return EVENT_OBJECT_VALUECHANGE;
    case ui::AccessibleEvent::StateChanged: return EVENT_OBJECT_STATECHANGE;
    case ui::AccessibleEvent::Shown: return EVENT_OBJECT_SHOW;
    case ui::AccessibleEvent::Hidden: return EVENT_OBJECT_HIDE;
    case ui::AccessibleEvent::LocationChanged: return EVENT_OBJECT_LOCATIONCHANGE;
    case ui::AccessibleEvent::Focus: return EVENT_OBJECT_FOCUS;
    }
    return 0;
}

}  // namespace

Accessibility::Accessibility(ui::Controls& controls, Binding binding) : shared_(std::make_shared<Shared>()) {
    shared_->controls = &controls;
    shared_->binding = std::move(binding);
    shared_->pressMessage = RegisterWindowMessageW(L"Abacorn.AccessiblePress");
}

Accessibility::~Accessibility() {
    disconnect();
    if (apartment_ == Apartment::Entered) CoUninitialize();
}

bool Accessibility::enterApartment() {
    // Tools' calls must come through the window's own queue, on this thread:
    // in a multithreaded apartment they would come on threads of COM's own,
    // and then the window answers nothing. Entered when the first tool asks,
    // not before: under Wine the apartment makes every pass dearer, and the
    // pauses count passes (docs/windows-notes.md).
    if (apartment_ == Apartment::NotYet)
        apartment_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ? Apartment::Entered
                                                                                  : Apartment::Refused;
    return apartment_ == Apartment::Entered;
}

void Accessibility::disconnect() {
    if (!shared_->controls) return;
    shared_->controls = nullptr;
    // Tools in other processes hold proxies: cut them off from the objects,
    // then drop our own references.
    auto objects = std::move(shared_->objects);
    for (auto& [control, object] : objects) {
        CoDisconnectObject(object, 0);
        object->Release();
    }
}

bool Accessibility::answer(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    Shared& s = *shared_;
    if (!s.controls) return false;
    if (msg == WM_GETOBJECT) {
        if (static_cast<DWORD>(lp) != static_cast<DWORD>(OBJID_CLIENT) || !enterApartment()) return false;
        const ui::Control* c = Object::controlOfWindow(s, hwnd);
        if (!c) return false;
        result = LresultFromObject(__uuidof(IAccessible), wp, objectFor(s, *c));
        return true;
    }
    if (msg == s.pressMessage && msg != 0) {
        auto& all = s.controls->all();
        if (wp < all.size() && ui::takesPress(*s.controls, *all[wp])) s.binding.press(*all[wp]);
        result = 0;
        return true;
    }
    if (msg == WM_DESTROY) {
        const ui::Control* form = ui::accessibleRoot(*s.controls);
        if (form && s.binding.windowOf(*form) == hwnd) disconnect();
    }
    return false;
}

void Accessibility::changed(const ui::Control& c, ui::Change change) {
    const Shared& s = *shared_;
    if (!s.controls) return;
    // Most changes in the dealing loops tell nothing: asked before the walk.
    const auto events = ui::accessibleEvents(c, change);
    if (events.empty()) return;
    // A painted control is a simple element of its container's object.
    const ui::Control* up = ui::accessibleParent(*s.controls, c);
    const HWND own = s.binding.windowOf(c);
    const HWND hwnd = own ? own : up ? s.binding.windowOf(*up) : nullptr;
    const LONG child = own ? CHILDID_SELF : childId(*s.controls, c);
    if (!hwnd || (!own && child == CHILDID_SELF)) return;
    for (ui::AccessibleEvent e : events) {
        NotifyWinEvent(winEvent(e), hwnd, OBJID_CLIENT, child);
        // The seconds list names the entry picked too.
        if (e == ui::AccessibleEvent::ValueChanged && own && c.kind() == ui::Kind::ListBox && c.selectedIndex() >= 0)
            NotifyWinEvent(EVENT_OBJECT_SELECTION, hwnd, OBJID_CLIENT, c.selectedIndex() + 1);
    }
}

}  // namespace win32
