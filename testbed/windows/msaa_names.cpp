// SPDX-License-Identifier: GPL-3.0-or-later
// msaa_names: the trainer's window as a screen reader sees it through MSAA.
//
//   msaa_names.exe [--timeout SECONDS] [--wait-for NAME] [--press NAME]
//                  [--await-event KIND:NAME] [--dpi-changed DPI]
//
// Waits up to SECONDS (default 30) for the window of class AbacornWindow,
// takes its client object (AccessibleObjectFromWindow, OBJID_CLIENT) and
// walks the tree depth first: the children AccessibleChildren gives, into
// every child that is an object of its own (a child window's too). It prints
// one line per node on stdout, UTF-8, fields split by a tab:
//
//   depth  role  name  states  description  value  location
//
// depth is 0 for the window's client object; role is the MSAA role number
// (ROLE_SYSTEM_PUSHBUTTON is 43, ROLE_SYSTEM_STATICTEXT 41) or the role's own
// text when a server gives one; states are names split by commas (invisible,
// focusable, focused, unavailable, selected, ...), empty for none; name,
// description and value are empty when the node has none; location is
// where the node lies on the screen, "x y width height" in pixels
// (accLocation), empty when it answers none. A tab, line break
// or backslash in a text is written as \t, \n, \r or \\.
//
// --wait-for NAME walks again every 100 ms until a node of that name is in
// the tree (until the binding's objects are there, a window answers with the
// system's, which has none of the names), then
// prints. --press NAME then asks the first node of that name for its default
// action (accDoDefaultAction), as a switch user's tool does.
//
// --await-event KIND:NAME listens, from the start, to what the window tells
// tools that keep a copy of the tree (WinEvents of its client objects), and
// after the tree (and the press) waits until an event of that kind comes for
// an object of that name, and for the window to answer after it (so that
// every event it raised with that one is heard too); a NAME that ends in *
// stands for every name that begins with what comes before it. Each event heard is
// printed after the tree, as
//
//   event  KIND  name
//
// KIND one of show, hide, focus, state, name, value, selection, location.
//
// --dpi-changed DPI first tells the window, as Windows does when it comes to
// a monitor of another scale, that its scale is now DPI dots per inch
// (WM_DPICHANGED, sent: the walk comes after the window has handled it).
//
// On stderr: how many nodes the first walk found, and in what time.
//
// Exit status: 0 done; 1 bad arguments; 2 no window within the time;
// 3 no accessible object; 4 no node to press, or the press refused;
// 5 the name waited for never came (the tree is printed all the same);
// 6 the event waited for never came; 7 the window did not answer
// --dpi-changed.
#include <fcntl.h>
#include <io.h>
#include <oleacc.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Node {
    int depth = 0;
    std::wstring role, name, states, description, value, location;
    IAccessible* object = nullptr;  // owned: one reference
    LONG child = CHILDID_SELF;
};

constexpr struct {
    LONG bit;
    const wchar_t* name;
} kStates[] = {
    {STATE_SYSTEM_UNAVAILABLE, L"unavailable"},
    {STATE_SYSTEM_SELECTED, L"selected"},
    {STATE_SYSTEM_FOCUSED, L"focused"},
    {STATE_SYSTEM_PRESSED, L"pressed"},
    {STATE_SYSTEM_CHECKED, L"checked"},
    {STATE_SYSTEM_MIXED, L"mixed"},
    {STATE_SYSTEM_READONLY, L"readonly"},
    {STATE_SYSTEM_HOTTRACKED, L"hottracked"},
    {STATE_SYSTEM_DEFAULT, L"default"},
    {STATE_SYSTEM_EXPANDED, L"expanded"},
    {STATE_SYSTEM_COLLAPSED, L"collapsed"},
    {STATE_SYSTEM_BUSY, L"busy"},
    {STATE_SYSTEM_FLOATING, L"floating"},
    {STATE_SYSTEM_MARQUEED, L"marqueed"},
    {STATE_SYSTEM_ANIMATED, L"animated"},
    {STATE_SYSTEM_INVISIBLE, L"invisible"},
    {STATE_SYSTEM_OFFSCREEN, L"offscreen"},
    {STATE_SYSTEM_SIZEABLE, L"sizeable"},
    {STATE_SYSTEM_MOVEABLE, L"moveable"},
    {STATE_SYSTEM_SELFVOICING, L"selfvoicing"},
    {STATE_SYSTEM_FOCUSABLE, L"focusable"},
    {STATE_SYSTEM_SELECTABLE, L"selectable"},
    {STATE_SYSTEM_LINKED, L"linked"},
    {STATE_SYSTEM_TRAVERSED, L"traversed"},
    {STATE_SYSTEM_MULTISELECTABLE, L"multiselectable"},
    {STATE_SYSTEM_EXTSELECTABLE, L"extselectable"},
    {STATE_SYSTEM_ALERT_LOW, L"alert_low"},
    {STATE_SYSTEM_ALERT_MEDIUM, L"alert_medium"},
    {STATE_SYSTEM_ALERT_HIGH, L"alert_high"},
    {STATE_SYSTEM_PROTECTED, L"protected"},
    {STATE_SYSTEM_HASPOPUP, L"haspopup"},
};

VARIANT childId(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring taken(BSTR s) {
    std::wstring out = s ? std::wstring(s, SysStringLen(s)) : std::wstring();
    SysFreeString(s);
    return out;
}

std::wstring statesOf(const VARIANT& v) {
    if (v.vt != VT_I4) return {};
    std::wstring out;
    for (const auto& s : kStates)
        if (v.lVal & s.bit) out += (out.empty() ? L"" : L",") + std::wstring(s.name);
    return out;
}

Node describe(IAccessible* object, LONG child, int depth) {
    Node n;
    n.depth = depth;
    n.object = object;
    n.child = child;
    object->AddRef();
    const VARIANT id = childId(child);
    BSTR s = nullptr;
    if (object->get_accName(id, &s) == S_OK) n.name = taken(s);
    s = nullptr;
    if (object->get_accDescription(id, &s) == S_OK) n.description = taken(s);
    s = nullptr;
    if (object->get_accValue(id, &s) == S_OK) n.value = taken(s);
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(object->get_accRole(id, &v))) {
        if (v.vt == VT_I4) n.role = std::to_wstring(v.lVal);
        if (v.vt == VT_BSTR) n.role = std::wstring(v.bstrVal, SysStringLen(v.bstrVal));
    }
    VariantClear(&v);
    if (SUCCEEDED(object->get_accState(id, &v))) n.states = statesOf(v);
    VariantClear(&v);
    LONG x = 0, y = 0, w = 0, h = 0;
    if (object->accLocation(&x, &y, &w, &h, id) == S_OK)
        for (LONG part : {x, y, w, h}) n.location += (n.location.empty() ? L"" : L" ") + std::to_wstring(part);
    return n;
}

// A child's object, with a reference of its own. A system's object for a
// child window stands for its frame and holds its client object; Wine's
// answers nothing (its calls are stubs), so then the client object is taken
// from the window.
IAccessible* clientOf(IAccessible* object) {
    VARIANT role;
    VariantInit(&role);
    const bool answers = SUCCEEDED(object->get_accRole(childId(CHILDID_SELF), &role));
    VariantClear(&role);
    HWND hwnd = nullptr;
    IAccessible* client = nullptr;
    if (!answers && SUCCEEDED(WindowFromAccessibleObject(object, &hwnd)) && hwnd &&
        SUCCEEDED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&client))) &&
        client)
        return client;
    object->AddRef();
    return object;
}

// The subtree of one object, depth first; simple elements have no children.
void walk(IAccessible* object, int depth, std::vector<Node>& out) {
    out.push_back(describe(object, CHILDID_SELF, depth));
    LONG count = 0;
    if (depth >= 30 || out.size() > 5000 || FAILED(object->get_accChildCount(&count)) || count <= 0) return;
    std::vector<VARIANT> children(static_cast<std::size_t>(count));
    LONG got = 0;
    if (FAILED(AccessibleChildren(object, 0, count, children.data(), &got))) return;
    for (LONG i = 0; i < got; ++i) {
        VARIANT& v = children[static_cast<std::size_t>(i)];
        if (v.vt == VT_DISPATCH && v.pdispVal) {
            IAccessible* child = nullptr;
            if (SUCCEEDED(v.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&child)))) {
                IAccessible* client = clientOf(child);
                walk(client, depth + 1, out);
                client->Release();
                child->Release();
            }
        } else if (v.vt == VT_I4) {
            out.push_back(describe(object, v.lVal, depth + 1));
        }
        VariantClear(&v);
    }
}

constexpr struct {
    DWORD event;
    const wchar_t* kind;
} kEvents[] = {
    {EVENT_OBJECT_SHOW, L"show"},           {EVENT_OBJECT_HIDE, L"hide"},
    {EVENT_OBJECT_FOCUS, L"focus"},         {EVENT_OBJECT_STATECHANGE, L"state"},
    {EVENT_OBJECT_NAMECHANGE, L"name"},     {EVENT_OBJECT_VALUECHANGE, L"value"},
    {EVENT_OBJECT_SELECTION, L"selection"}, {EVENT_OBJECT_LOCATIONCHANGE, L"location"},
};

// What the window's process told, kind and name, in order.
std::vector<std::pair<std::wstring, std::wstring>> heard;

void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    if (object != OBJID_CLIENT) return;  // the caret, the cursor, the system's window objects
    const wchar_t* kind = nullptr;
    for (const auto& e : kEvents)
        if (e.event == event) kind = e.kind;
    if (!kind) return;
    std::wstring name;
    IAccessible* source = nullptr;
    VARIANT id;
    VariantInit(&id);
    if (SUCCEEDED(AccessibleObjectFromEvent(hwnd, static_cast<DWORD>(object), static_cast<DWORD>(child), &source,
                                            &id)) &&
        source) {
        BSTR s = nullptr;
        if (source->get_accName(id, &s) == S_OK) name = taken(s);
        source->Release();
    }
    VariantClear(&id);
    heard.emplace_back(kind, name);
}

bool wasHeard(const std::wstring& kindAndName) {
    const bool prefix = !kindAndName.empty() && kindAndName.back() == L'*';
    const std::wstring want = prefix ? kindAndName.substr(0, kindAndName.size() - 1) : kindAndName;
    for (const auto& [kind, name] : heard)
        if (prefix ? (kind + L":" + name).rfind(want, 0) == 0 : kind + L":" + name == want) return true;
    return false;
}

void release(std::vector<Node>& nodes) {
    for (Node& n : nodes) n.object->Release();
    nodes.clear();
}

const Node* named(const std::vector<Node>& nodes, const std::wstring& name) {
    for (const Node& n : nodes)
        if (n.name == name) return &n;
    return nullptr;
}

std::string utf8(const std::wstring& w) {
    std::wstring escaped;
    for (wchar_t c : w) {
        if (c == L'\t') escaped += L"\\t";
        else if (c == L'\n') escaped += L"\\n";
        else if (c == L'\r') escaped += L"\\r";
        else if (c == L'\\') escaped += L"\\\\";
        else escaped += c;
    }
    if (escaped.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, escaped.data(), static_cast<int>(escaped.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, escaped.data(), static_cast<int>(escaped.size()), out.data(), n, nullptr, nullptr);
    return out;
}

void print(const std::vector<Node>& nodes) {
    for (const Node& n : nodes) {
        const std::string line = std::to_string(n.depth) + "\t" + utf8(n.role) + "\t" + utf8(n.name) + "\t" +
                                 utf8(n.states) + "\t" + utf8(n.description) + "\t" + utf8(n.value) + "\t" +
                                 utf8(n.location) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    std::fflush(stdout);
}

int run(int argc, wchar_t** argv) {
    double timeoutSeconds = 30;
    std::wstring waitFor, press, awaitEvent;
    int dpiChanged = 0;
    auto badArgument = [](const std::wstring& arg) {
        std::fwprintf(stderr, L"msaa_names: what is %ls?\n", arg.c_str());
        return 1;
    };
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (i + 1 >= argc) return badArgument(arg);
        if (arg == L"--timeout") timeoutSeconds = std::wcstod(argv[++i], nullptr);
        else if (arg == L"--wait-for") waitFor = argv[++i];
        else if (arg == L"--press") press = argv[++i];
        else if (arg == L"--await-event") awaitEvent = argv[++i];
        else if (arg == L"--dpi-changed") dpiChanged = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        else return badArgument(arg);
    }
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutSeconds * 1000);
    HWND window = nullptr;
    while (!(window = FindWindowW(L"AbacornWindow", nullptr))) {
        if (GetTickCount64() >= deadline) return 2;
        Sleep(50);
    }
    if (dpiChanged > 0) {
        // The suggested rectangle lies in this process: the window needs none.
        RECT suggested{};
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpiChanged, dpiChanged),
                                 reinterpret_cast<LPARAM>(&suggested), SMTO_ABORTIFHUNG, 30000, &answer)) {
            std::fprintf(stderr, "msaa_names: WM_DPICHANGED not answered (error %lu)\n", GetLastError());
            return 7;
        }
    }
    if (const auto colon = awaitEvent.find(L':'); !awaitEvent.empty()) {
        if (colon == std::wstring::npos) return badArgument(awaitEvent);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_VALUECHANGE, nullptr, onEvent, process, 0,
                        WINEVENT_OUTOFCONTEXT);
    }
    IAccessible* root = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&root))) ||
        !root)
        return 3;
    std::vector<Node> nodes;
    const ULONGLONG started = GetTickCount64();
    walk(root, 0, nodes);
    std::fprintf(stderr, "walked %zu nodes in %llu ms\n", nodes.size(), GetTickCount64() - started);
    while (!waitFor.empty() && !named(nodes, waitFor) && GetTickCount64() < deadline) {
        Sleep(100);
        release(nodes);
        walk(root, 0, nodes);
    }
    print(nodes);
    int status = !waitFor.empty() && !named(nodes, waitFor) ? 5 : 0;
    if (!press.empty()) {
        const Node* n = named(nodes, press);
        if (!n || n->object->accDoDefaultAction(childId(n->child)) != S_OK) status = 4;
    }
    // Events come with the messages of this thread.
    while (!awaitEvent.empty() && !wasHeard(awaitEvent) && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (!awaitEvent.empty() && !wasHeard(awaitEvent) && status == 0) status = 6;
    if (!awaitEvent.empty() && status == 0) {
        // The event waited for may come first of several that the window
        // raised in one go: once it answers a message of ours, all of them
        // are in this thread's queue.
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 30000, &answer);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    for (const auto& [kind, name] : heard) {
        const std::string line = "event\t" + utf8(kind) + "\t" + utf8(name) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    std::fflush(stdout);
    release(nodes);
    root->Release();
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int status = run(argc, argv);
    CoUninitialize();
    return status;
}
