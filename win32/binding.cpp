// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/binding.h"
