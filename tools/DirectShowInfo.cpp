#include "tools/DirectShowInfo.h"

#include <windows.h>

#include <dxdiag.h>
#include <ocidl.h>
#include <strmif.h>

#include "base/SysUtils.h"
#include "base/WinText.h"

namespace tw {

namespace {

constexpr int kListStep = 128;

// The identifiers are spelled out here so the component needs no GUID library.
constexpr CLSID kSystemDeviceEnum = {0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr IID kICreateDevEnum = {0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr IID kIPropertyBag = {0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
constexpr GUID kLegacyFilterCategory = {0x083863F1, 0x70DE, 0x11D0, {0xBD, 0x40, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr CLSID kDxDiagProvider = {0xA65B8071, 0x3BFE, 0x4213, {0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7}};
constexpr IID kIDxDiagProvider = {0x9C6B4CB0, 0x23F8, 0x49CC, {0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00, 0xA6, 0xD2}};
constexpr DWORD kDxDiagHeaderVersion = 111;

// Releases a COM interface when the scope ends.
template <class T> class TComRef {
public:
    TComRef() = default;
    ~TComRef() {
        if (p_) p_->Release();
    }
    TComRef(const TComRef&) = delete;
    TComRef& operator=(const TComRef&) = delete;
    T** Out() { return &p_; }
    void** OutVoid() { return reinterpret_cast<void**>(&p_); }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }

private:
    T* p_ = nullptr;
};

// A VARIANT cleared when the scope ends.
class TVariant {
public:
    TVariant() { VariantInit(&v_); }
    ~TVariant() { VariantClear(&v_); }
    TVariant(const TVariant&) = delete;
    TVariant& operator=(const TVariant&) = delete;
    VARIANT* operator&() { return &v_; }
    const VARIANT& Get() const { return v_; }

private:
    VARIANT v_;
};

std::string BagString(IPropertyBag* bag, const wchar_t* name) {
    TVariant v;
    bag->Read(name, &v, nullptr);
    if (v.Get().vt != VT_BSTR || !v.Get().bstrVal) return "";
    return WideToUtf8(v.Get().bstrVal);
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameAsciiText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

} // namespace

std::string DirectXVersionFromParts(uint32_t major, uint32_t minor, char letter) {
    return IntToStr(major) + "." + IntToStr(minor) + std::string(1, letter);
}

TDirectShowInfo::TDirectShowInfo(TComponent* owner) : TComponent(owner), list_(kListStep) {}

TDirectShowInfo::~TDirectShowInfo() = default;

void TDirectShowInfo::AddFilterEntry(const std::string& friendlyName, const std::string& classId) {
    if (count_ >= static_cast<int>(list_.size())) list_.resize(list_.size() + kListStep);
    TDxFilterInfo& e = list_[static_cast<size_t>(count_)];
    e.Found = false;
    e.FriendlyName = friendlyName;
    e.ClassID = classId;
    ++count_;
}

TDxFilterInfo TDirectShowInfo::FindFilter(const std::string& name) {
    TDxFilterInfo answer;
    if (count_ < 1) EnumerateFilters();
    for (int i = 0; i < count_; ++i) {
        const TDxFilterInfo& e = list_[static_cast<size_t>(i)];
        if (SameAsciiText(e.FriendlyName, name)) {
            answer.Found = true;
            answer.FriendlyName = e.FriendlyName;
            answer.ClassID = e.ClassID;
            break;
        }
    }
    return answer;
}

void TDirectShowInfo::EnumerateFilters() {
    TComRef<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(kSystemDeviceEnum, nullptr, CLSCTX_INPROC, kICreateDevEnum, devices.OutVoid())))
        return;
    TComRef<IEnumMoniker> monikers;
    // S_FALSE means the category is empty and hands out no enumerator.
    if (devices->CreateClassEnumerator(kLegacyFilterCategory, monikers.Out(), 0) != S_OK || !monikers.Get()) return;
    for (;;) {
        TComRef<IMoniker> moniker;
        if (monikers->Next(1, moniker.Out(), nullptr) != S_OK || !moniker.Get()) break;
        TComRef<IPropertyBag> bag;
        std::string name, clsid;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, kIPropertyBag, bag.OutVoid())) && bag.Get()) {
            name = BagString(bag.Get(), L"FriendlyName");
            clsid = BagString(bag.Get(), L"CLSID");
        }
        AddFilterEntry(name, clsid);
    }
}

int32_t TDirectShowInfo::ReadDxDiagVersion(uint32_t& major, uint32_t& minor, char& letter) {
    bool comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    bool gotMajor = false, gotMinor = false, gotLetter = false;
    {
        TComRef<IDxDiagProvider> provider;
        if (SUCCEEDED(CoCreateInstance(kDxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, kIDxDiagProvider,
                                       provider.OutVoid()))) {
            DXDIAG_INIT_PARAMS params = {};
            // The provider refuses any record size but the platform's own
            // (24 bytes on 64-bit Windows).
            params.dwSize = sizeof(DXDIAG_INIT_PARAMS);
            params.dwDxDiagHeaderVersion = kDxDiagHeaderVersion;
            params.bAllowWHQLChecks = FALSE;
            params.pReserved = nullptr;
            TComRef<IDxDiagContainer> root, system;
            if (SUCCEEDED(provider->Initialize(&params)) && SUCCEEDED(provider->GetRootContainer(root.Out())) &&
                SUCCEEDED(root->GetChildContainer(L"DxDiag_SystemInfo", system.Out()))) {
                TVariant v1, v2, v3;
                if (SUCCEEDED(system->GetProp(L"dwDirectXVersionMajor", &v1)) && v1.Get().vt == VT_UI4) {
                    major = v1.Get().ulVal;
                    gotMajor = true;
                }
                if (SUCCEEDED(system->GetProp(L"dwDirectXVersionMinor", &v2)) && v2.Get().vt == VT_UI4) {
                    minor = v2.Get().ulVal;
                    gotMinor = true;
                }
                if (SUCCEEDED(system->GetProp(L"szDirectXVersionLetter", &v3)) && v3.Get().vt == VT_BSTR &&
                    v3.Get().bstrVal && v3.Get().bstrVal[0] != 0) {
                    char ansi[10] = {};
                    if (WideCharToMultiByte(CP_ACP, 0, v3.Get().bstrVal, -1, ansi, sizeof ansi, nullptr, nullptr) > 0 ||
                        ansi[0] != 0) {
                        letter = ansi[0];
                        gotLetter = true;
                    }
                }
            }
        }
    }
    if (comInitialised) CoUninitialize();
    return gotMajor && gotMinor && gotLetter ? S_OK : E_FAIL;
}

std::string TDirectShowInfo::DirectXVersionText() {
    try {
        uint32_t major = 0, minor = 0;
        char letter = ' ';
        if (ReadDxDiagVersion(major, minor, letter) == S_OK) return DirectXVersionFromParts(major, minor, letter);
    } catch (...) {
        // The version is a nicety for the preferences dialog; no answer is
        // the answer.
    }
    return "";
}

} // namespace tw
