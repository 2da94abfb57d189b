// SPDX-License-Identifier: GPL-3.0-or-later
// The SAPI 5 voice object, spoken to late-bound from a thread of its own.
//
// Every COM call happens on that thread (voices/com_speaker.h), in the
// multithreaded apartment; the voice object (ThreadingModel Both) lives in
// that apartment too.
#include "voices/sapi_voice.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <string>

#include "voices/com_speaker.h"

namespace voices {
namespace {

// The flags of every Speak, a 16-bit integer: SVSFlagsAsync (1) and
// SVSFPurgeBeforeSpeak (2).
constexpr SHORT kSpeakFlags = 3;

// The voice object made from its programmatic identifier, with the number
// of its "Speak"; nullptr when either is missing.
IDispatch* createVoice(DISPID& speak) {
    CLSID voiceClass;
    if (FAILED(CLSIDFromProgID(L"SAPI.SpVoice", &voiceClass))) return nullptr;
    IDispatch* voice = nullptr;
    if (FAILED(CoCreateInstance(voiceClass, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(&voice))) ||
        !voice)
        return nullptr;
    wchar_t method[] = L"Speak";
    LPOLESTR names[] = {method};
    if (FAILED(voice->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &speak))) {
        voice->Release();
        return nullptr;
    }
    return voice;
}

// Speak(text, 3). The stream number it gives and any failure are ignored.
void say(IDispatch* voice, DISPID speak, const std::string& text) {
    const std::wstring w = wide(text);
    BSTR string = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    if (!string) return;
    VARIANTARG args[2];  // last argument first
    VariantInit(&args[0]);
    args[0].vt = VT_I2;
    args[0].iVal = kSpeakFlags;
    VariantInit(&args[1]);
    args[1].vt = VT_BSTR;
    args[1].bstrVal = string;
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO failure{};
    UINT badArgument = 0;
    voice->Invoke(speak, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &failure, &badArgument);
    VariantClear(&result);
    SysFreeString(failure.bstrSource);
    SysFreeString(failure.bstrDescription);
    SysFreeString(failure.bstrHelpFile);
    SysFreeString(string);
}

}  // namespace

std::shared_ptr<speech::SpeechEngine> createSapiVoice() {
    return startComSpeaker(
        []() -> ComTalker {
            DISPID speak = DISPID_UNKNOWN;
            IDispatch* voice = createVoice(speak);
            if (!voice) return {};
            return {[voice, speak](const std::string& text) { say(voice, speak, text); },
                    [voice] { voice->Release(); }};
        },
        kCreateWait);
}

}  // namespace voices
