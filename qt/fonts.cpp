// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/fonts.h"

#include <QFontDatabase>
#include <QStringList>
#include <string>
#include <utility>

#include "ui/placement.h"
#include "qt/text.h"

namespace qt {
namespace {

// A family the desktop lacks sends Qt through fontconfig's list of every
// font sorted by likeness (about 1 ms per family before the first frame);
// when the stand-in that fontconfig's aliases would pick is installed (the
// program's packages bring both), it is named directly instead. A lookup in
// Qt's own font list costs next to nothing.
QString installedOrStandIn(const QString& family) {
    static const std::pair<const char*, const char*> standIns[] = {
        {"Comic Sans MS", "Comic Neue"},
        {"Times New Roman", "Liberation Serif"},
    };
    for (const auto& [wanted, standIn] : standIns) {
        if (family != QLatin1String(wanted)) continue;
        if (QFontDatabase::styles(family).isEmpty() && !QFontDatabase::styles(QLatin1String(standIn)).isEmpty())
            return QLatin1String(standIn);
        break;
    }
    return family;
}

}  // namespace

// The size in pixels (ui::fontPixels): setting the pixel size keeps the
// text in scale with the twip geometry whatever DPI the display reports
// (Xvfb says 100).
QFont makeFont(const ui::Font& f) {
    const std::string family = ui::fontFamily(f);
    QFont font;
    // Naming the stand-ins directly spares fontconfig a failing search for
    // the missing family, which costs up to 10 ms before the first frame.
    if (family == "MS Sans Serif")
        font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    else
        font.setFamily(installedOrStandIn(qstr(family)));
    font.setPixelSize(ui::fontPixels(f));
    font.setBold(f.bold);
    // Every text the program shows is plain ASCII, which each of these
    // fonts has: without merging Qt skips building the list of fallback
    // fonts for missing characters (an FcFontSort, before the first frame).
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

void installFontSubstitutes() {
    // There is no "MS Sans Serif" on Linux; without a substitute fontconfig
    // hands out whatever its default is.
    static bool done = false;
    if (done) return;
    done = true;
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "DejaVu Sans", "Sans Serif"});
}

}  // namespace qt
