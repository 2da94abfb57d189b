// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer put together on Win32: the platform services, the window
// object and the window that shows it, wired to each other.
#pragma once

#include "app/frm_splash.h"
#include "problems/random.h"
#include "speech/speech_engine.h"
#include "win32/form_window.h"
#include "win32/ports.h"

namespace program {

struct Win32Trainer {
    // The window hands the child's clicks and picks, its closing and the
    // timer's ticks to the window object.
    explicit Win32Trainer(speech::EngineFactory createVoice);
    Win32Trainer(const Win32Trainer&) = delete;
    Win32Trainer& operator=(const Win32Trainer&) = delete;

    win32::Win32EventPump pump;
    win32::Win32Screen screen;
    win32::Win32Window window;
    win32::Win32Timer timer;
    problems::SteadyClock clock;
    problems::MixingRandom random;
    app::frmSplash frm;
    win32::FormWindow form;
};

}  // namespace program
