// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing beside the card answers a click with a sentence.
#include "app/frm_splash.h"

namespace app {

void frmSplash::img123_Click() { Speak("kwilla  writes, 1 plus 1 equals 2. is kwilla, correct?"); }

void frmSplash::lblQuillaWrites_Click() { img123_Click(); }

}  // namespace app
