// SPDX-License-Identifier: GPL-3.0-or-later
// The recording SAPI server of the tests: an in-process COM server for the
// SAPI voice object's class, which writes down every Speak instead of
// saying it. Registered in a test's Wine prefix (regsvr32), it is what the
// trainer's "SAPI.SpVoice" becomes there.
//
// ABACORN_SAPI_LOG names the log (a Windows path, read at every Speak):
// one line per Speak, "<unix-epoch-ms with 3 decimals>\t<flags>\t<text>\n"
// in UTF-8, appended in one write, so that the processes of one test share
// it. Without it, Speak writes nothing. ABACORN_SAPI_FAIL makes every Speak
// of that text fail (E_FAIL, not logged), and "*" every Speak.
#include <windows.h>

#include <objbase.h>
#include <olectl.h>

#include <cstdio>
#include <string>

#include "testbed/windows/spvoice_server.h"

namespace {

HMODULE self = nullptr;

std::wstring environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

// Milliseconds since 1970 with a resolution of 100 ns.
double epochMs() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks - 116444736000000000ULL) / 10000.0;
}

HRESULT record(const std::wstring& text, long flags) {
    const std::wstring fail = environment(L"ABACORN_SAPI_FAIL");
    if (!fail.empty() && (fail == L"*" || fail == text)) return E_FAIL;
    const std::wstring log = environment(L"ABACORN_SAPI_LOG");
    if (log.empty()) return S_OK;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%.3f\t%ld\t", epochMs(), flags);
    const std::string line = stamp + utf8(text) + "\n";
    // Append-only access: each write lands whole at the end, whoever else
    // has the file open.
    const HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return S_OK;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return S_OK;
}

constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{96749377-3391-11D2-9EE3-00C04F797396}";
constexpr wchar_t kClass[] = L"{96749377-3391-11D2-9EE3-00C04F797396}";
const wchar_t* const kProgIds[] = {L"Software\\Classes\\SAPI.SpVoice", L"Software\\Classes\\SAPI.SpVoice.1"};

bool setValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY opened;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG set = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    return set == ERROR_SUCCESS;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID which, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(which, testbed::kSpVoiceClass)) return CLASS_E_CLASSNOTAVAILABLE;
    IClassFactory* factory = testbed::newVoiceFactory(record);
    const HRESULT got = factory->QueryInterface(iid, out);
    factory->Release();
    return got;
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return testbed::serverInUse() == 0 ? S_OK : S_FALSE; }

// The class with this DLL as its server, and SAPI.SpVoice (and .1) naming it.
HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return SELFREG_E_CLASS;
    const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
    bool done = setValue(kClassKey, nullptr, L"Abacorn's recording voice") && setValue(server, nullptr, path) &&
                setValue(server, L"ThreadingModel", L"Both") && setValue(kClassKey + std::wstring(L"\\ProgID"), nullptr, L"SAPI.SpVoice.1");
    for (const wchar_t* progId : kProgIds) done = done && setValue(std::wstring(progId) + L"\\CLSID", nullptr, kClass);
    done = done && setValue(std::wstring(kProgIds[0]) + L"\\CurVer", nullptr, L"SAPI.SpVoice.1");
    return done ? S_OK : SELFREG_E_CLASS;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    bool done = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey) != ERROR_ACCESS_DENIED;
    for (const wchar_t* progId : kProgIds) done = RegDeleteTreeW(HKEY_LOCAL_MACHINE, progId) != ERROR_ACCESS_DENIED && done;
    return done ? S_OK : SELFREG_E_CLASS;
}

}  // extern "C"
