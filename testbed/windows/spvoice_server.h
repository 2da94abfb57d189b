// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the SAPI 5 voice object, for the tests: an automation
// object whose one method is "Speak", and its class factory. What a Speak
// does is up to the test: the recording SAPI server (sapi_recorder.dll)
// logs it, the voice's own tests hold it or make it fail.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <functional>
#include <string>

namespace testbed {

// The SAPI voice object's class, CLSID_SpVoice.
inline constexpr CLSID kSpVoiceClass = {0x96749377, 0x3391, 0x11D2, {0x9E, 0xE3, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};

// Called for every Speak, on the caller's thread, with the text and the
// flags (0 when none were passed); what it returns is what Speak returns.
// It may be called from several threads at once.
using SpeakHandler = std::function<HRESULT(const std::wstring& text, long flags)>;

// A class factory (one reference, the caller's) whose voice objects all
// call `speak`. With an empty handler it makes none, as on a system
// without SAPI: CreateInstance fails.
IClassFactory* newVoiceFactory(SpeakHandler speak);

// Voice objects and factories not yet released, and server locks held:
// 0 once nothing of this server can be called any more.
long serverInUse();

}  // namespace testbed
