#include "shared/Settings.h"

#include <windows.h>

#include <mmsystem.h>

#include <cstring>
#include <memory>

#include "base/WinText.h"

namespace tw {

const char* const kEventSource = "Tarnwick";

namespace {

// Callers pass the key with a leading backslash ("\Software\..."), which is
// a path from the root; the registry functions want it without.
std::wstring KeyPath(const std::string& key) {
    size_t i = 0;
    while (i < key.size() && key[i] == '\\') ++i;
    return Utf8ToWide(key.substr(i));
}

class TRegistrySettings : public TSettingsBackend {
public:
    TSettingValue Read(const std::string& key, const std::string& name) override {
        TSettingValue v;
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return v;
        std::wstring wname = Utf8ToWide(name);
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(h, wname.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            std::unique_ptr<BYTE[]> buf(new BYTE[size + sizeof(wchar_t)]());
            DWORD got = size;
            if (RegQueryValueExW(h, wname.c_str(), nullptr, &type, buf.get(), &got) == ERROR_SUCCESS) {
                v.kind = skOther;
                if (type == REG_DWORD && got == sizeof(DWORD)) {
                    DWORD d;
                    std::memcpy(&d, buf.get(), sizeof d);
                    v.kind = skInteger;
                    v.integer = static_cast<int32_t>(d);
                } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
                    const wchar_t* w = reinterpret_cast<const wchar_t*>(buf.get());
                    size_t n = got / sizeof(wchar_t);
                    while (n > 0 && w[n - 1] == L'\0') --n;
                    v.kind = skString;
                    v.text = WideToUtf8(std::wstring(w, n));
                } else if (type == REG_BINARY && got == sizeof(double)) {
                    v.kind = skFloat;
                    std::memcpy(&v.number, buf.get(), sizeof(double));
                }
            }
        }
        RegCloseKey(h);
        return v;
    }

    bool Write(const std::string& key, const std::string& name, const TSettingValue& v) override {
        HKEY h = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
            return false;
        std::wstring wname = Utf8ToWide(name);
        LONG rc = ERROR_INVALID_PARAMETER;
        if (v.kind == skInteger) {
            DWORD d = static_cast<DWORD>(v.integer);
            rc = RegSetValueExW(h, wname.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), sizeof d);
        } else if (v.kind == skString) {
            std::wstring w = Utf8ToWide(v.text);
            rc = RegSetValueExW(h, wname.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                                static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
        } else if (v.kind == skFloat) {
            rc = RegSetValueExW(h, wname.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(&v.number),
                                sizeof(double));
        }
        RegCloseKey(h);
        return rc == ERROR_SUCCESS;
    }

    bool Remove(const std::string& key, const std::string& name) override {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(key).c_str(), 0, KEY_READ | KEY_WRITE, &h) != ERROR_SUCCESS)
            return false;
        LONG rc = RegDeleteValueW(h, Utf8ToWide(name).c_str());
        RegCloseKey(h);
        return rc == ERROR_SUCCESS;
    }
};

HRSRC FindWav(const std::string& name) {
    return FindResourceW(GetModuleHandleW(nullptr), Utf8ToWide(name).c_str(), L"WAV");
}

} // namespace

void InstallWindowsSettings() {
    SetSettingsBackend(std::make_unique<TRegistrySettings>());
    SetSoundPlayer(&PlayWavResource);
}

bool HasWavResource(const std::string& name) { return FindWav(name) != nullptr; }

bool PlayWavResource(const std::string& name) {
    HRSRC r = FindWav(name);
    if (!r) return false;
    HGLOBAL g = LoadResource(GetModuleHandleW(nullptr), r);
    if (!g) return false;
    const void* data = LockResource(g);
    if (!data) return false;
    // Resource data stays mapped for the life of the module, so the
    // asynchronous player may go on reading it after we return.
    return sndPlaySoundA(static_cast<LPCSTR>(data), SND_ASYNC | SND_MEMORY | SND_NODEFAULT) != FALSE;
}

unsigned short EventLogTypeOf(int typeCode) {
    switch (typeCode) {
    case 1: return EVENTLOG_WARNING_TYPE;
    case 2: return EVENTLOG_INFORMATION_TYPE;
    case 3: return EVENTLOG_AUDIT_SUCCESS;
    case 4: return EVENTLOG_AUDIT_FAILURE;
    default: return EVENTLOG_ERROR_TYPE;
    }
}

std::function<void(const std::string&, const std::string&, int, int)> EventLogHook;

void WriteEventLog(const std::string& source, const std::string& text, int typeCode, int eventId) {
    if (EventLogHook) {
        EventLogHook(source, text, typeCode, eventId);
        return;
    }
    HANDLE h = RegisterEventSourceW(nullptr, Utf8ToWide(source).c_str());
    if (!h) return;
    std::wstring w = Utf8ToWide(text);
    LPCWSTR strings[1] = {w.c_str()};
    ReportEventW(h, EventLogTypeOf(typeCode), 0, static_cast<DWORD>(eventId), nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(h);
}

} // namespace tw
