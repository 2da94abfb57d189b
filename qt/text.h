// SPDX-License-Identifier: GPL-3.0-or-later
// The control model's texts (UTF-8) as Qt strings.
#pragma once

#include <QString>
#include <string>

namespace qt {

inline QString qstr(const std::string& s) { return QString::fromStdString(s); }

}  // namespace qt
