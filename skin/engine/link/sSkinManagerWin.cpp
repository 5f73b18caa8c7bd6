#include "skin/engine/link/sSkinManagerWin.h"

#include <cstring>

#include "base/WinText.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/images/SkinPictures.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/painting/ImageListGlyphs.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

namespace skin {

HOOKPROC SkinCBTHookProc = nullptr;
void (*SkinHookRemoving)() = nullptr;
std::function<void(HWND)> SubclassPopupMenuWindow;
void (*RedrawAdaptedWindows)() = nullptr;
std::function<void(TsSkinManager&)> ResetMenuSkinCache;
void (*UpdateMenusFromSkin)(TsSkinManager&) = nullptr;
bool (*DesktopCompositionQuery)() = nullptr;
void (*PreparePopupMenu)(tw::TPopupMenu*, TsSkinManager*) = nullptr;
void (*MakeMenuService)(TsSkinManager&) = nullptr;

namespace {

HHOOK g_hook = nullptr;
int g_mainWindowHook = -1;

bool IsPopupMenuClass(HWND wnd)
{
    wchar_t name[16] = {};
    return GetClassNameW(wnd, name, 16) > 0 && std::wcscmp(name, L"#32768") == 0;
}

HWND PopupWindowOfMenu(HMENU menu)
{
    RECT r{};
    if (!GetMenuItemRect(nullptr, menu, 0, &r)) {
        HWND list = FindWindowW(L"#32768", nullptr);
        if (!list || !GetMenuItemRect(list, menu, 0, &r)) return nullptr;
    }
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    return WindowFromPoint(centre);
}

bool MainWindowHook(tw::TMessage& m)
{
    const TsSkinManager* manager = DefaultManager;
    if (!manager || !manager->SkinnedPopups()) return false;
    switch (m.Msg) {
    case WM_THEMECHANGED:
        m.Result = 1;
        return true;
    case tw::CM_ACTIVATE:
        // Every form of the screen drops its cached picture, the last one
        // first: also the forms another form or nobody owns. A form that goes
        // on the message is no longer counted.
        for (int i = tw::Screen->FormCount() - 1; i >= 0; --i) {
            if (i >= tw::Screen->FormCount()) continue;
            if (tw::TCustomForm* form = tw::Screen->Forms(i); form && form->HandleAllocated())
                SendSkinCommand(form->Handle(), AC_RESETCACHE);
        }
        return false;
    case WM_SKINPOPUPMENU:
    case WM_SKINPOPUPMENUWINDOW: {
        const HWND wnd = m.Msg == WM_SKINPOPUPMENU ? PopupWindowOfMenu(reinterpret_cast<HMENU>(m.LParam))
                                                   : reinterpret_cast<HWND>(m.LParam);
        if (IsOwnPopupMenuWindow(wnd) && SubclassPopupMenuWindow) {
            try {
                SubclassPopupMenuWindow(wnd);
            } catch (...) {
                // The menu stays unskinned; nothing may unwind through the
                // window procedure, and the failure is reported.
                tw::Application->HandleException(nullptr);
            }
        }
        m.Result = 0;
        return true;
    }
    default:
        return false;
    }
}

// An RCDATA picture of the program file; nullptr when missing or unreadable.
std::shared_ptr<const TPixelImage> ResourcePicture(const wchar_t* name)
{
    const HRSRC res = FindResourceW(nullptr, name, MAKEINTRESOURCEW(10));   // RT_RCDATA
    const HGLOBAL block = res ? LoadResource(nullptr, res) : nullptr;
    const void* data = block ? LockResource(block) : nullptr;
    if (!data) return nullptr;
    try {
        return std::shared_ptr<const TPixelImage>(
            LoadPngPicture(static_cast<const uint8_t*>(data), SizeofResource(nullptr, res)));
    } catch (const std::exception&) {
        return nullptr;
    }
}

class TWindowsAnnouncer : public TSkinAnnouncer {
public:
    void ManagerCreated(TsSkinManager& m) override
    {
        // Read once for the whole program.
        static const std::shared_ptr<const TPixelImage> active = ResourcePicture(L"acSHDA");
        static const std::shared_ptr<const TPixelImage> inactive = ResourcePicture(L"acSHDI");
        m.ShadowActive = active;
        m.ShadowInactive = inactive;
        if (MakeMenuService) MakeMenuService(m);
    }
    void BeginSkinChange(TsSkinManager& m) override { skin::BeginSkinChange(&m); }
    // A new or removed skin ends every halo: they were made from the old one.
    void ClearGlows() override { skin::ClearGlows(); }
    void ClearGlowsAtOnce() override { skin::ClearGlows(true); }
    bool LayeredWindows() const override { return GlowLayeredEntry && GlowLayeredEntry(); }
    bool CompositionEnabled() const override { return DesktopCompositionQuery && DesktopCompositionQuery(); }
    void EndSkinChange(TsSkinManager& m, bool animate) override { skin::EndSkinChange(&m, animate); }
    void BroadcastToForms(TsSkinManager& m, uint16_t command) override
    {
        if (!tw::Application) return;
        tw::TMessage msg{SM_ALPHACMD, SkinWParam(command), reinterpret_cast<LPARAM>(&m), 0};
        skin::BroadcastToForms(msg);
    }
    void InstallSkinHook(TsSkinManager&) override
    {
        if (!g_hook && SkinCBTHookProc) g_hook = SetWindowsHookExW(WH_CBT, SkinCBTHookProc, nullptr, GetCurrentThreadId());
    }
    void UninstallSkinHook(TsSkinManager&) override
    {
        if (SkinHookRemoving) SkinHookRemoving();
        if (g_hook) UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
    }
    void ShowMessage(const std::string& text) override { tw::ShowMessage(text); }
    void RedrawAdapters() override
    {
        if (RedrawAdaptedWindows) RedrawAdaptedWindows();
    }
    void ResetMenuCache(TsSkinManager& m) override
    {
        if (ResetMenuSkinCache) ResetMenuSkinCache(m);
    }
    void UpdateMenusFromSkin(TsSkinManager& m) override
    {
        if (skin::UpdateMenusFromSkin) skin::UpdateMenusFromSkin(m);
    }
    void SkinChangeHook() override { skin::SkinChangeHook(); }
    void DefaultManagerCreated(TsSkinManager& m) override
    {
        if (tw::Application && g_mainWindowHook < 0 && !(m.ComponentState() & tw::csDesigning))
            g_mainWindowHook = tw::Application->HookMainWindow(MainWindowHook);
    }
    void DefaultManagerDestroyed(TsSkinManager&) override
    {
        if (tw::Application && g_mainWindowHook >= 0) tw::Application->UnhookMainWindow(g_mainWindowHook);
        g_mainWindowHook = -1;
    }
};

} // namespace

// The manager's core lies below this layer and takes the announcer it is
// given: this one, as soon as the program is linked with the window side
// (the engine's interface target links this layer whole).
[[maybe_unused]] const bool g_announcerInstalled = [] {
    static TWindowsAnnouncer announcer;
    SetPlatformAnnouncer(&announcer);
    return true;
}();

HHOOK SkinHookHandle() { return g_hook; }

void SetManagerActiveControl(TsSkinManager& manager, HWND wnd)
{
    const HWND previous = reinterpret_cast<HWND>(manager.ActiveControl);
    if (previous == wnd) return;
    manager.ActiveControl = reinterpret_cast<uintptr_t>(wnd);
    if (previous) SendSkinCommand(previous, AC_DEACTIVATED, reinterpret_cast<LPARAM>(&manager));
    if (wnd) SendSkinCommand(wnd, AC_ACTIVATED, reinterpret_cast<LPARAM>(&manager));
}

bool IsOwnPopupMenuWindow(HWND wnd)
{
    return wnd && IsWindow(wnd) && IsPopupMenuClass(wnd) && GetWindowThreadProcessId(wnd, nullptr) == GetCurrentThreadId();
}

bool AddInternalSkinFromResource(TsSkinManager& manager, const wchar_t* resourceName, const std::string& skinName)
{
    const HRSRC res = FindResourceW(nullptr, resourceName, MAKEINTRESOURCEW(10));   // RT_RCDATA
    if (!res) return false;
    const HGLOBAL block = LoadResource(nullptr, res);
    const void* data = block ? LockResource(block) : nullptr;
    const DWORD size = SizeofResource(nullptr, res);
    if (!data || size == 0) return false;
    // The resource holds what a layout stream gives the stored skin's "Data"
    // property: read through the property's own reader.
    tw::TMemoryStream bytes;
    bytes.WriteBuffer(data, size);
    bytes.SetPosition(0);
    TsStoredSkin& skin = manager.InternalSkins.Add();
    skin.SetName(skinName);
    skin.ReadData(bytes, size);
    return true;
}

void SkinManagerUnitStart(const std::vector<std::string>& args)
{
    static bool shown = false;
    if (!shown && AcVerRequested(args)) {
        shown = true;
        tw::ShowMessage(std::string("Skin library v") + kSkinLibraryVersion);
    }
}

} // namespace skin
