// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows program: the trainer on the Win32 binding, speaking through
// the system's SAPI voice, or through the screen reader while Windows'
// screen-reader switch is on. It takes no command line.
#include <windows.h>

#include <memory>

#include "main/win32_trainer.h"
#include "speech/late_engine.h"
#include "voices/trainer_voice.h"
#include "win32/form_window.h"

namespace {

// One trainer at a time in a session.
constexpr const wchar_t* kInstanceMutex = L"Local\\Abacorn.Trainer";

// A second start: the running trainer comes to the front. Its window may
// still be on its way (the name is taken before the window is made), so it
// is looked for a little while.
void bringFirstToFront() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (HWND first = FindWindowW(win32::FormWindow::kWindowClass, nullptr)) {
            DWORD process = 0;
            GetWindowThreadProcessId(first, &process);
            // This start may take the foreground: it hands that right on.
            AllowSetForegroundWindow(process);
            DWORD_PTR answer = 0;
            SendMessageTimeoutW(first, win32::FormWindow::bringToFrontMessage(), 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
            return;
        }
        Sleep(100);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    HANDLE instance = CreateMutexW(nullptr, FALSE, kInstanceMutex);
    if (instance && GetLastError() == ERROR_ALREADY_EXISTS) {
        bringFirstToFront();
        CloseHandle(instance);
        return 0;
    }
    int status = 0;
    {
        // The voice is built once the first frame is on the screen, or
        // when the first text comes before that (on the window's thread,
        // after the trainer is made: its texts start with Form_Load).
        std::weak_ptr<speech::LateEngine> lateVoice;
        const win32::FormWindow* form = nullptr;
        program::Win32Trainer trainer([&lateVoice, &form] {
            auto voice = std::make_shared<speech::LateEngine>([&form] {
                return voices::createTrainerVoice(form->screenReader.reader(), form->hwnd());
            });
            lateVoice = voice;
            return voice;
        });
        form = &trainer.view;
        trainer.view.onFirstPaint = [&lateVoice] {
            if (auto voice = lateVoice.lock()) voice->start();
        };
        trainer.frm.Form_Load();
        MSG m;
        BOOL got;
        while ((got = GetMessageW(&m, nullptr, 0, 0)) > 0) win32::dispatch(&trainer.view, m);
        if (got == 0) status = static_cast<int>(m.wParam);
    }
    if (instance) CloseHandle(instance);
    return status;
}
