// SPDX-License-Identifier: GPL-3.0-or-later
#include "voices/uia_notification.h"

#include <oleauto.h>
#include <uiautomationcore.h>

#include <string>

#include "voices/com_speaker.h"
#include "voices/sapi_voice.h"

namespace voices {
namespace {

// Names this program's notifications for the screen reader.
constexpr const wchar_t* kActivityId = L"Abacorn.Speech";

BSTR bstr(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

}  // namespace

UiaFunctions systemUiaFunctions() {
    UiaFunctions functions;
    // Loaded once and kept for the run: the engine's thread calls into it.
    HMODULE uia = LoadLibraryExW(L"uiautomationcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!uia) return functions;
    functions.hostProvider = reinterpret_cast<UiaFunctions::HostProvider>(
        reinterpret_cast<void*>(GetProcAddress(uia, "UiaHostProviderFromHwnd")));
    functions.raiseNotification = reinterpret_cast<UiaFunctions::RaiseNotification>(
        reinterpret_cast<void*>(GetProcAddress(uia, "UiaRaiseNotificationEvent")));
    return functions;
}

std::shared_ptr<speech::SpeechEngine> createUiaNotification(HWND window, UiaFunctions functions) {
    if (!functions.hostProvider || !functions.raiseNotification) return nullptr;
    return startComSpeaker(
        [window, functions]() -> ComTalker {
            IRawElementProviderSimple* provider = nullptr;
            if (FAILED(functions.hostProvider(window, &provider)) || !provider) return {};
            return {[provider, raise = functions.raiseNotification](const std::string& text) {
                        BSTR said = bstr(wide(text));
                        BSTR activity = bstr(kActivityId);
                        if (said && activity)
                            raise(provider, kNotificationKindOther, kImportantMostRecent, said, activity);
                        SysFreeString(activity);
                        SysFreeString(said);
                    },
                    [provider] { provider->Release(); }};
        },
        kCreateWait);
}

}  // namespace voices
