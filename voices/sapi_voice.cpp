// SPDX-License-Identifier: GPL-3.0-or-later
// The SAPI 5 voice object, spoken to late-bound from a thread of its own.
//
// Every COM call happens on that thread, in the multithreaded apartment, so
// that nothing of it needs the window's message loop; the voice object
// (ThreadingModel Both) lives in that apartment too.
#include "voices/sapi_voice.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "speech/worker.h"

namespace voices {
namespace {

// The flags of every Speak, a 16-bit integer: SVSFlagsAsync (1) and
// SVSFPurgeBeforeSpeak (2).
constexpr SHORT kSpeakFlags = 3;

// Shared by the caller's side and the engine's thread, which may be left
// behind inside a Speak that hangs, or inside the creation; it holds this
// as long as it runs.
struct Line {
    enum class State { creating, ready, failed };
    std::mutex mutex;
    std::condition_variable wake;     // a text to speak, or closing
    std::condition_variable settled;  // creation ended, one way or the other
    State state = State::creating;
    // Texts not yet spoken, oldest first. Each Speak cuts the one before
    // short, and each returns at once on a working voice: the waiting line
    // grows only behind a Speak that hangs, and keeps the newest few.
    std::deque<std::string> texts;
    static constexpr std::size_t kMaxWaiting = 8;
    bool closing = false;
};

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
    return out;
}

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

void run(const std::shared_ptr<Line>& line) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DISPID speak = DISPID_UNKNOWN;
    IDispatch* voice = SUCCEEDED(com) ? createVoice(speak) : nullptr;
    {
        std::lock_guard lock(line->mutex);
        line->state = voice ? Line::State::ready : Line::State::failed;
    }
    line->settled.notify_all();
    while (voice) {
        std::string text;
        {
            std::unique_lock lock(line->mutex);
            line->wake.wait(lock, [&] { return line->closing || !line->texts.empty(); });
            if (line->closing) break;
            text = std::move(line->texts.front());
            line->texts.pop_front();
        }
        say(voice, speak, text);
    }
    if (voice) voice->Release();
    if (SUCCEEDED(com)) CoUninitialize();
}

class SapiVoice final : public speech::SpeechEngine {
public:
    SapiVoice() : line_(std::make_shared<Line>()), speaker_([line = line_] { run(line); }) {}

    ~SapiVoice() override {
        bool creating;
        {
            std::lock_guard lock(line_->mutex);
            line_->closing = true;
            line_->texts.clear();
            creating = line_->state == Line::State::creating;
        }
        line_->wake.notify_all();
        // A creation given up on is not waited for again.
        speaker_.finishWithin(creating ? std::chrono::milliseconds(0) : speech::kCloseWait);
    }

    // True once the voice object is made; false when it cannot be, or is
    // not within kCreateWait.
    bool started() {
        std::unique_lock lock(line_->mutex);
        line_->settled.wait_for(lock, kCreateWait, [&] { return line_->state != Line::State::creating; });
        return line_->state == Line::State::ready;
    }

    void speak(const std::string& text) override {
        {
            std::lock_guard lock(line_->mutex);
            if (line_->closing) return;
            line_->texts.push_back(text);
            if (line_->texts.size() > Line::kMaxWaiting) line_->texts.pop_front();
        }
        line_->wake.notify_all();
    }

private:
    std::shared_ptr<Line> line_;
    speech::Worker speaker_;
};

}  // namespace

std::shared_ptr<speech::SpeechEngine> createSapiVoice() {
    auto voice = std::make_shared<SapiVoice>();
    if (!voice->started()) return nullptr;
    return voice;
}

}  // namespace voices
