// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/control_views.h"

#include "qt/artwork.h"
#include "qt/fonts.h"
#include "ui/look.h"

namespace qt {

QRect toQRect(const ui::Rect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

QRect pixelRect(const ui::Control& c) { return toQRect(ui::drawnRect(c)); }

ControlViews::ControlViews(ui::Controls& controls, QWidget& window) : ViewTable(controls) {
    setForm(&window);
    installFontSubstitutes();  // before the first font is made
    for (ControlView& v : all()) {
        v.font = makeFont(v.control->design().font);
        if (!v.control->design().picture.empty()) v.pixmap = loadPicture(v.control->design().picture);
    }
}

}  // namespace qt
