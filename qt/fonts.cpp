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

// A family the desktop lacks sends Qt through fontconfig's slow search
// before the first frame, so an installed stand-in is named directly.
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
// text in scale with the twip geometry whatever DPI the display reports.
QFont makeFont(const ui::Font& f) {
    const std::string family = ui::fontFamily(f);
    QFont font;
    // Named directly: spares fontconfig a failing search for the family.
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
