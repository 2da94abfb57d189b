#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Counts, per binding folder, its non-blank lines and the lines that decide
a rule of the window: a branch (if, case, ?:, a boolean return) over the
control model's state (kind, visibility, enabled, handler, focus, press,
selection). A binding should render, not decide: the rules live in ui/.

    scripts/count-rule-lines.py [FOLDER ...]      (default: qt win32)
    scripts/count-rule-lines.py --list FOLDER     (the lines themselves)"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MODEL = re.compile(r"\bui::(Kind|takesPress|canTakeFocus|isLightweight|frontmost|KeyAction|Change|inAccessibleTree|"
                   r"accessibleRole)|(\.|->)(kind|visible|enabled|handler|selectedIndex|design)\(?\)?|"
                   r"\b(lightweight|reachable|isStop|focused|pressed|bare)\w*")
BRANCH = re.compile(r"^\s*(if|else if|case|switch|while|for)\b|\?[^:]*:|^\s*return .*(&&|\|\|)")


def count(folder, show):
    total = rules = 0
    for f in sorted((ROOT / folder).glob("*")):
        if f.suffix not in (".h", ".cpp"):
            continue
        for n, line in enumerate(f.read_text().splitlines(), 1):
            s = line.strip()
            if not s:
                continue
            total += 1
            if not s.startswith("//") and BRANCH.search(s) and MODEL.search(s):
                rules += 1
                if show:
                    print("%s:%d: %s" % (f.relative_to(ROOT), n, s))
    print("%s: %d non-blank lines, %d that decide a rule" % (folder, total, rules))


if __name__ == "__main__":
    args = sys.argv[1:]
    show = "--list" in args
    for folder in [a for a in args if a != "--list"] or ["qt", "win32"]:
        count(folder, show)
