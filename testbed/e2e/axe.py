# SPDX-License-Identifier: GPL-3.0-or-later
"""axe-core, the accessibility checker, run inside a page driven by
browser.py, and the names a screen reader would meet in its tree.

    audit = axe.Audit(page)             # fails at once when axe-core is missing
    result = audit.run()
    result.violations                   # [(rule, impact, [selector...], why)]
    axe.unnamed_controls(page.ax_tree())

The test command installs axe-core at the version scripts/common.sh pins
(AXE_CORE_VERSION) into $ABACORN_WEB_BUILD_DIR/node; $ABACORN_AXE_DIR
names another folder holding node_modules/axe-core.
"""

import json
import os
import re

from .processes import E2EError
from .program import build_dir

HERE = os.path.dirname(os.path.abspath(__file__))
COMMON_SH = os.path.join(HERE, "..", "..", "scripts", "common.sh")

# Roles a screen reader reads as something to press, pick or type in: each
# must have a name, or the child hears only "button".
CONTROL_ROLES = {"button", "checkbox", "combobox", "link", "listbox", "menuitem", "menuitemcheckbox",
                 "menuitemradio", "option", "radio", "scrollbar", "searchbox", "slider", "spinbutton", "switch",
                 "tab", "textbox", "treeitem", "application", "PopUpButton", "ToggleButton"}


def pinned_version():
    with open(COMMON_SH, encoding="utf-8") as f:
        found = re.search(r"^AXE_CORE_VERSION=(\S+)$", f.read(), re.M)
    if not found:
        raise E2EError("scripts/common.sh pins no AXE_CORE_VERSION")
    return found.group(1)


def package_dir():
    base = os.environ.get("ABACORN_AXE_DIR") or os.path.join(
        os.environ.get("ABACORN_WEB_BUILD_DIR", build_dir() + "-web"), "node")
    return os.path.join(base, "node_modules", "axe-core")


def source():
    """axe.min.js at the pinned version; E2EError saying how to get it otherwise."""
    folder = package_dir()
    want = pinned_version()
    try:
        with open(os.path.join(folder, "package.json"), encoding="utf-8") as f:
            have = json.load(f)["version"]
        with open(os.path.join(folder, "axe.min.js"), encoding="utf-8") as f:
            text = f.read()
    except FileNotFoundError:
        raise E2EError("axe-core is not installed in %s: scripts/run-tests.sh installs axe-core@%s there "
                       "(install_axe_core in scripts/common.sh)" % (folder, want)) from None
    if have != want:
        raise E2EError("axe-core %s in %s, but scripts/common.sh pins %s: run scripts/run-tests.sh"
                       % (have, folder, want))
    return text


class Result:
    def __init__(self, raw):
        self.version = raw["version"]
        self.violations = [(v["id"], v["impact"], [n["target"] for n in v["nodes"]], v["why"])
                           for v in raw["violations"]]
        self.incomplete = [(v["id"], v["impact"], len(v["nodes"])) for v in raw["incomplete"]]
        # (text, ink, fill, ratio asked) of the texts whose background axe-core
        # could not tell, as the page paints them; contrasts() works them out.
        self.unsure_contrasts = [tuple(u) for u in raw["unsure"]]
        # The names of the elements each rule found nothing wrong with.
        self.passed = {rule: set(names) for rule, names in raw["passed"].items()}

    def contrasts(self):
        """(text, contrast, ratio asked) of the texts axe-core left unsure,
        against the first fill painted under their middle."""
        return [(text, round(contrast(ink, fill), 2), asked) for text, ink, fill, asked in self.unsure_contrasts]


def _luminance(css):
    r, g, b = (int(v) / 255 for v in re.findall(r"\d+", css)[:3])
    return sum(k * (c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4)
               for k, c in zip((0.2126, 0.7152, 0.0722), (r, g, b)))


def contrast(ink, fill):
    """WCAG's contrast ratio of two CSS rgb() colours."""
    light, dark = sorted((_luminance(ink), _luminance(fill)), reverse=True)
    return (light + 0.05) / (dark + 0.05)


class Audit:
    """axe-core injected into the page once (DevTools evaluation is not
    bound by the page's Content-Security-Policy); run() audits the whole
    document as it is now, every rule on but those in `disabled`, a dict of
    rule id to the reason it does not fit."""

    def __init__(self, page, disabled=None, script=None):
        self.page = page
        self.source = script or source()
        self.disabled = dict(disabled or {})

    def run(self):
        if not self.page.evaluate("typeof window.axe === 'object'"):
            self.page.evaluate(self.source + "\n;0")
        rules = json.dumps({rule: {"enabled": False} for rule in self.disabled})
        return Result(self.page.evaluate("""axe.run(document, {rules: %s}).then(r => JSON.stringify({
            version: axe.version,
            violations: r.violations.map(v => ({id: v.id, impact: v.impact, nodes: v.nodes,
                why: v.nodes.map(n => n.failureSummary).join(' / ')})),
            incomplete: r.incomplete.map(v => ({id: v.id, impact: v.impact, nodes: v.nodes})),
            // Text under a layer that takes the clicks: its ink, the first fill painted under its middle
            // (its own, else its container's), the ratio asked.
            unsure: (r.incomplete.find(v => v.id === 'color-contrast') || {nodes: []}).nodes.map(n => {
                const e = document.querySelector(n.target[0]);
                const box = e.getBoundingClientRect();
                const stack = document.elementsFromPoint(box.x + box.width / 2, box.y + box.height / 2);
                const under = stack.includes(e) ? stack.slice(stack.indexOf(e)) : [];
                for (let p = e; p; p = p.parentElement) under.push(p);
                const fill = under.map(u => getComputedStyle(u).backgroundColor)
                    .find(c => c !== 'rgba(0, 0, 0, 0)') || 'rgb(255, 255, 255)';
                const data = (n.any[0] || {}).data || {};
                return [e.textContent, getComputedStyle(e).color, fill, parseFloat(data.expectedContrastRatio) || 4.5];
            }),
            passed: Object.fromEntries(r.passes.map(v => [v.id, v.nodes.map(n => {
                const e = document.querySelector(n.target[0]);
                return e ? (e.getAttribute('aria-label') || e.id) : '';
            })])),
        })).then(JSON.parse)""" % rules, timeout=120))


def announced_focus(nodes):
    """The node a screen reader reads for the focus: the focused element's
    active descendant when it names one, else the focused element (the
    document's own node when nothing in it has the focus); None if none."""
    focused = [n for n in nodes if n["focused"] and n["role"] != "RootWebArea"]
    if not focused:
        return next((n for n in nodes if n["focused"]), None)
    node = focused[-1]
    if node["activedescendant"] is not None:
        return next((n for n in nodes if n["backendDOMNodeId"] == node["activedescendant"]), None)
    return node


def unnamed_controls(nodes):
    """(role, backendDOMNodeId) of the nodes of browser.Page.ax_tree() a
    screen reader would read as a control without a name: those of a
    control's role and no name, and the one it reads for the focus, whatever
    its role, if it has no name or is left out of the tree."""
    found = [(n["role"], n["backendDOMNodeId"]) for n in nodes
             if not n["ignored"] and not n["name"].strip() and n["role"] in CONTROL_ROLES]
    focus = announced_focus(nodes)
    if focus is None:
        found.append(("no focus", None))
    elif (focus["ignored"] or not focus["name"].strip()) and (focus["role"], focus["backendDOMNodeId"]) not in found:
        found.append((focus["role"], focus["backendDOMNodeId"]))
    return found
