// SPDX-License-Identifier: GPL-3.0-or-later
// The artwork the window's design names.
#pragma once

#include <QPixmap>
#include <string>

namespace qt {

// The picture at a path (":/assets/<file>" for the program's own artwork);
// a null pixmap when it cannot be read.
QPixmap loadPicture(const std::string& path);

}  // namespace qt
