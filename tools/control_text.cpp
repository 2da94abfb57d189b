// SPDX-License-Identifier: GPL-3.0-or-later
// Prints what the window's design shows, for checking the browser build's
// files (tests/test_web_assets.py), one tab-separated line each:
//     control <control> <family> <bold 0|1>
//     text <control> <caption or list entry>
//     picture <control> <resource>
//     operation <word> <sign>
// The operations' words and signs are captions the logic sets at run time.
#include <cstdio>
#include <string>

#include "problems/operations.h"
#include "ui/control_table.h"
#include "ui/placement.h"

int main() {
    for (const ui::ControlSpec& c : ui::controlTable()) {
        std::printf("control\t%s\t%s\t%d\n", c.name.c_str(), ui::fontFamily(c.font).c_str(), c.font.bold);
        const auto text = [&](const std::string& t) {
            if (!t.empty()) std::printf("text\t%s\t%s\n", c.name.c_str(), t.c_str());
        };
        text(c.caption);
        for (const std::string& item : c.items) text(item);
        if (!c.picture.empty()) std::printf("picture\t%s\t%s\n", c.name.c_str(), c.picture.c_str());
    }
    for (const problems::Operation& op : problems::kOperations) std::printf("operation\t%s\t%s\n", op.word, op.sign);
    return 0;
}
