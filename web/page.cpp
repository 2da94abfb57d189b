// SPDX-License-Identifier: GPL-3.0-or-later
// Each call hands its arguments to the page's script (Module.page), which
// does the DOM's work; nothing here decides anything.
#include "web/page.h"

#include <emscripten.h>

// clang-format off
EM_JS(void, js_create, (int id, int tag, int parent), { Module.page.create(id, tag, parent); });
EM_JS(void, js_place, (int id, int x, int y, int w, int h), { Module.page.place(id, x, y, w, h); });
EM_JS(void, js_style, (int id, const char* css), { Module.page.style(id, UTF8ToString(css)); });
EM_JS(void, js_text, (int id, const char* text), { Module.page.text(id, UTF8ToString(text)); });
EM_JS(void, js_attribute, (int id, const char* name, const char* value), {
  Module.page.attribute(id, UTF8ToString(name), UTF8ToString(value));
});
EM_JS(void, js_shown, (int id, int on), { Module.page.shown(id, !!on); });
EM_JS(void, js_enabled, (int id, int on), { Module.page.enabled(id, !!on); });
EM_JS(void, js_options, (int id, const char* items), { Module.page.options(id, UTF8ToString(items)); });
EM_JS(void, js_selected, (int id, int index), { Module.page.selected(id, index); });
EM_JS(void, js_focus, (int id), { Module.page.focus(id); });
EM_JS(int, js_focused, (), { return Module.page.focused(); });
EM_JS(void, js_open_list, (int id), { Module.page.openList(id); });
EM_JS(void, js_picture, (int id, const char* source, int clear), {
  Module.page.picture(id, UTF8ToString(source), clear);
});
EM_JS(int, js_picture_size, (const char* source, int* size), {
  const s = Module.page.pictureSize(UTF8ToString(source));
  if (!s) return 0;
  HEAP32[size >> 2] = s[0];
  HEAP32[(size >> 2) + 1] = s[1];
  return 1;
});
EM_JS(void, js_measure, (const char* font, const char* text, int* out), {
  const m = Module.page.measure(UTF8ToString(font), UTF8ToString(text));
  for (let i = 0; i < 6; ++i) HEAP32[(out >> 2) + i] = m[i];
});
EM_JS(int, js_next, (int* fields, char* key, int keySize), {
  const e = Module.page.next();
  if (!e) return 0;
  const f = [e.a | 0, e.b | 0, e.x | 0, e.y | 0, e.flags | 0, e.entry === undefined ? -1 : e.entry];
  for (let i = 0; i < f.length; ++i) HEAP32[(fields >> 2) + i] = f[i];
  stringToUTF8(e.key || "", key, keySize);
  return e.kind;
});
EM_JS(void, js_post, (int kind), { Module.page.post(kind); });
EM_JS(void, js_viewport, (int* size), {
  const v = Module.page.viewport();
  HEAP32[size >> 2] = v[0];
  HEAP32[(size >> 2) + 1] = v[1];
  HEAP32[(size >> 2) + 2] = v[2];
});
EM_JS(double, js_now, (), { return performance.now(); });
EM_ASYNC_JS(void, js_yield, (), { await Module.page.yieldToBrowser(); });
EM_JS(void, js_busy, (int on), { Module.page.busy(!!on); });
EM_JS(void, js_timer, (int ms), { Module.page.timer(ms); });
// clang-format on

namespace web::page {

void create(int id, Tag tag, int parent) { js_create(id, static_cast<int>(tag), parent); }
void place(int id, int x, int y, int width, int height) { js_place(id, x, y, width, height); }
void style(int id, const std::string& css) { js_style(id, css.c_str()); }
void text(int id, const std::string& text) { js_text(id, text.c_str()); }
void attribute(int id, const char* name, const std::string& value) { js_attribute(id, name, value.c_str()); }
void shown(int id, bool on) { js_shown(id, on); }
void enabled(int id, bool on) { js_enabled(id, on); }

void options(int id, const std::vector<std::string>& items) {
    std::string joined;
    for (const auto& item : items) {
        if (!joined.empty()) joined += '\n';
        joined += item;
    }
    js_options(id, joined.c_str());
}

void selected(int id, int index) { js_selected(id, index); }
void focus(int id) { js_focus(id); }
int focused() { return js_focused(); }
void openList(int id) { js_open_list(id); }

void picture(int id, const std::string& source, std::optional<ui::Color> clear) {
    js_picture(id, source.c_str(), clear ? (clear->r << 16 | clear->g << 8 | clear->b) : -1);
}

bool pictureSize(const std::string& source, int& width, int& height) {
    int size[2] = {0, 0};
    if (!js_picture_size(source.c_str(), size)) return false;
    width = size[0];
    height = size[1];
    return true;
}

Metrics measure(const std::string& font, const std::string& text) {
    int m[6] = {};
    js_measure(font.c_str(), text.c_str(), m);
    return {m[0], m[1], m[2], m[3], m[4], m[5]};
}

Event next() {
    int fields[6] = {};
    char key[32] = {};
    Event e;
    e.kind = static_cast<EventKind>(js_next(fields, key, sizeof key));
    if (e.kind == EventKind::None) return e;
    e.a = fields[0];
    e.b = fields[1];
    e.x = fields[2];
    e.y = fields[3];
    const int flags = fields[4];
    e.inside = flags & 1;
    e.shift = flags & 2;
    e.ctrl = flags & 4;
    e.alt = flags & 8;
    e.meta = flags & 16;
    e.entry = fields[5];
    e.key = key;
    return e;
}

void post(EventKind kind) { js_post(static_cast<int>(kind)); }
Viewport viewport() {
    int size[3] = {0, 0, 100};
    js_viewport(size);
    return {size[0], size[1], size[2]};
}

double now() { return js_now(); }
void yieldToBrowser() { js_yield(); }
void busy(bool on) { js_busy(on); }
void timer(int ms) { js_timer(ms); }

}  // namespace web::page
