// SPDX-License-Identifier: GPL-3.0-or-later
#include "testbed/windows/spvoice_server.h"

#include <oleauto.h>

#include <utility>

namespace testbed {
namespace {

LONG inUse = 0;
constexpr DISPID kSpeak = 1;

// IUnknown for one interface beside it, counting the server's objects.
template <class Interface>
class Object : public Interface {
public:
    Object() { InterlockedIncrement(&inUse); }
    virtual ~Object() { InterlockedDecrement(&inUse); }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

private:
    LONG refs_ = 1;
};

class Voice final : public Object<IDispatch> {
public:
    explicit Voice(SpeakHandler speak) : speak_(std::move(speak)) {}

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids) return E_POINTER;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        // Automation names are matched without regard to case.
        if (count != 1 || !names[0] || _wcsicmp(names[0], L"Speak") != 0) return DISP_E_UNKNOWNNAME;
        ids[0] = kSpeak;
        return S_OK;
    }
    // Speak(text [, flags]), its result the stream number.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD how, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT* badArgument) override {
        if (id != kSpeak || !(how & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (!params) return E_POINTER;
        if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        if (params->cArgs < 1 || params->cArgs > 2) return DISP_E_BADPARAMCOUNT;
        // The arguments come last first.
        VARIANT text;
        VariantInit(&text);
        if (FAILED(VariantChangeType(&text, &params->rgvarg[params->cArgs - 1], 0, VT_BSTR))) {
            if (badArgument) *badArgument = params->cArgs - 1;
            return DISP_E_TYPEMISMATCH;
        }
        VARIANT flags;
        VariantInit(&flags);
        if (params->cArgs == 2 && FAILED(VariantChangeType(&flags, &params->rgvarg[0], 0, VT_I4))) {
            VariantClear(&text);
            if (badArgument) *badArgument = 0;
            return DISP_E_TYPEMISMATCH;
        }
        const std::wstring said(text.bstrVal ? text.bstrVal : L"", text.bstrVal ? SysStringLen(text.bstrVal) : 0);
        VariantClear(&text);
        const HRESULT spoken = speak_(said, params->cArgs == 2 ? flags.lVal : 0);
        if (FAILED(spoken)) return spoken;
        if (result) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = InterlockedIncrement(&streams_);
        }
        return S_OK;
    }

private:
    const SpeakHandler speak_;
    LONG streams_ = 0;
};

class Factory final : public Object<IClassFactory> {
public:
    explicit Factory(SpeakHandler speak) : speak_(std::move(speak)) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (!speak_) return E_FAIL;
        auto* voice = new Voice(speak_);
        const HRESULT got = voice->QueryInterface(iid, out);
        voice->Release();
        return got;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&inUse);
        else InterlockedDecrement(&inUse);
        return S_OK;
    }

private:
    const SpeakHandler speak_;
};

}  // namespace

IClassFactory* newVoiceFactory(SpeakHandler speak) { return new Factory(std::move(speak)); }

long serverInUse() { return InterlockedCompareExchange(&inUse, 0, 0); }

}  // namespace testbed
