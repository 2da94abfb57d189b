// SPDX-License-Identifier: GPL-3.0-or-later
#include "voices/sapi_voice.h"
