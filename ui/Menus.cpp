#include "ui/Menus.h"

#include <algorithm>
#include <map>

#include "base/WinText.h"
#include "ui/Application.h"
#include "ui/Consts.h"
#include "ui/Forms.h"

namespace tw {

namespace {
UINT g_nextCommand = 1000;
std::map<UINT, TMenuItem*>& Commands() {
    static std::map<UINT, TMenuItem*> m;
    return m;
}
} // namespace

std::string StripHotkey(const std::string& caption) {
    std::string r;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                r += '&';
                ++i;
            }
            continue;
        }
        r += caption[i];
    }
    return r;
}

wchar_t HotkeyOf(const std::string& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        const std::wstring w = Utf8ToWide(caption.substr(i + 1, 4));
        if (w.empty()) return 0;
        return static_cast<wchar_t>(reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(uintptr_t(w[0])))));
    }
    return 0;
}

std::string ShortCutToText(TShortCut sc) {
    if (sc == 0) return "";
    std::string r;
    if (sc & scShift) r += StdText(stKeyShift);
    if (sc & scCtrl) r += StdText(stKeyCtrl);
    if (sc & scAlt) r += StdText(stKeyAlt);
    WORD vk = sc & 0xFF;
    switch (vk) {
    case VK_BACK: r += StdText(stKeyBkSp); break;
    case VK_TAB: r += StdText(stKeyTab); break;
    case VK_ESCAPE: r += StdText(stKeyEsc); break;
    case VK_RETURN: r += StdText(stKeyEnter); break;
    case VK_SPACE: r += StdText(stKeySpace); break;
    case VK_PRIOR: r += StdText(stKeyPgUp); break;
    case VK_NEXT: r += StdText(stKeyPgDn); break;
    case VK_END: r += StdText(stKeyEnd); break;
    case VK_HOME: r += StdText(stKeyHome); break;
    case VK_LEFT: r += StdText(stKeyLeft); break;
    case VK_UP: r += StdText(stKeyUp); break;
    case VK_RIGHT: r += StdText(stKeyRight); break;
    case VK_DOWN: r += StdText(stKeyDown); break;
    case VK_INSERT: r += StdText(stKeyIns); break;
    case VK_DELETE: r += StdText(stKeyDel); break;
    default:
        if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
            r += static_cast<char>(vk);
        else if (vk >= VK_F1 && vk <= VK_F24)
            r += 'F' + std::to_string(vk - VK_F1 + 1);
        else
            r += "?";
    }
    return r;
}

// ---------------------------------------------------------------- TMenuItem

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {
    command_ = g_nextCommand++;
    Commands()[command_] = this;
}

TMenuItem::~TMenuItem() {
    Commands().erase(command_);
    // Children still attached go with this item unless an owner takes them.
    for (TMenuItem* c : items_) c->parent_ = nullptr;
    items_.clear();
    if (parent_) parent_->Remove(this);
    if (handle_) DestroyMenu(handle_);
}

TMenuItem* TMenuItem::FindByCommand(UINT id) {
    auto it = Commands().find(id);
    return it == Commands().end() ? nullptr : it->second;
}

TMenu* TMenuItem::GetParentMenu() const {
    const TMenuItem* i = this;
    while (i->parent_) i = i->parent_;
    return i->menu_;
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (!item || item->parent_) throw EInvalidOperation("Menu item is already inserted");
    index = std::max(0, std::min(index, Count()));
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    RebuildSubmenu();
    // A new submenu appears in the item's own place.
    if (parent_ && items_.size() == 1) Changed();
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parent_ = nullptr;
    RebuildSubmenu();
}

void TMenuItem::Delete(int index) {
    TMenuItem* i = Items(index);
    Remove(i);
    delete i;
}

void TMenuItem::Clear() {
    while (!items_.empty()) Delete(Count() - 1);
}

TMenuItem* TMenuItem::AddItem(const std::string& caption, TNotifyEvent onClick, TShortCut sc) {
    auto* i = new TMenuItem(Owner() ? Owner() : this);
    i->caption_ = caption;
    i->shortCut_ = sc;
    i->OnClick = std::move(onClick);
    Add(i);
    return i;
}

HMENU TMenuItem::Handle() {
    if (!handle_) {
        handle_ = (menu_ && !dynamic_cast<TPopupMenu*>(menu_)) ? CreateMenu() : CreatePopupMenu();
        RebuildSubmenu();
    }
    return handle_;
}

void TMenuItem::FillInfo(MENUITEMINFOW& mi, std::wstring& text) {
    mi = MENUITEMINFOW{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_SUBMENU | MIIM_DATA;
    mi.wID = command_;
    mi.dwItemData = reinterpret_cast<ULONG_PTR>(this);
    TMenu* m = GetParentMenu();
    const bool ownerDrawn = ownerDraw_ || (m && m->OwnerDraw());
    if (IsLine()) {
        mi.fType = MFT_SEPARATOR;
        if (ownerDrawn) mi.fType |= MFT_OWNERDRAW;
    } else {
        std::string t = caption_;
        if (shortCut_) {
            t += '\t';
            t += ShortCutToText(shortCut_);
        }
        text = Utf8ToWide(t);
        mi.fMask |= MIIM_STRING;
        mi.dwTypeData = text.data();
        if (radioItem_) mi.fType |= MFT_RADIOCHECK;
        if (break_) mi.fType |= MFT_MENUBARBREAK;
        if (ownerDrawn) mi.fType |= MFT_OWNERDRAW;
    }
    mi.fState = (checked_ ? MFS_CHECKED : 0) | (enabled_ ? MFS_ENABLED : MFS_DISABLED) | (default_ ? MFS_DEFAULT : 0);
    mi.hSubMenu = items_.empty() ? nullptr : Handle();
}

void TMenuItem::RebuildSubmenu() {
    if (!handle_) return;
    while (GetMenuItemCount(handle_) > 0) RemoveMenu(handle_, 0, MF_BYPOSITION);
    UINT pos = 0;
    for (TMenuItem* c : items_) {
        if (!c->visible_) continue;
        MENUITEMINFOW mi;
        std::wstring text;
        c->FillInfo(mi, text);
        InsertMenuItemW(handle_, pos++, TRUE, &mi);
    }
    if (TMenu* m = GetParentMenu()) m->MenuChanged();
}

int TMenuItem::NativePosition() const {
    if (!parent_) return -1;
    int pos = 0;
    for (TMenuItem* c : parent_->items_) {
        if (c == this) return visible_ ? pos : -1;
        if (c->visible_) ++pos;
    }
    return -1;
}

void TMenuItem::Changed() {
    if (!parent_ || !parent_->handle_) return;
    int pos = NativePosition();
    if (pos < 0) return;
    MENUITEMINFOW mi;
    std::wstring text;
    FillInfo(mi, text);
    SetMenuItemInfoW(parent_->handle_, static_cast<UINT>(pos), TRUE, &mi);
    if (TMenu* m = GetParentMenu()) m->MenuChanged();
}

void TMenuItem::SetCaption(const std::string& c) {
    if (c == caption_) return;
    bool wasLine = IsLine();
    caption_ = c;
    if (wasLine != IsLine() && parent_)
        parent_->RebuildSubmenu();
    else
        Changed();
}

void TMenuItem::SetShortCut(TShortCut s) {
    shortCut_ = s;
    Changed();
}

void TMenuItem::SetChecked(bool c) {
    if (c == checked_) return;
    checked_ = c;
    if (c && radioItem_ && parent_) {
        for (TMenuItem* o : parent_->items_)
            if (o != this && o->radioItem_ && o->groupIndex_ == groupIndex_ && o->checked_) {
                o->checked_ = false;
                o->Changed();
            }
    }
    Changed();
}

void TMenuItem::SetBreak(bool b) {
    if (b == break_) return;
    break_ = b;
    Changed();
}

void TMenuItem::SetOwnerDraw(bool o) {
    if (o == ownerDraw_) return;
    ownerDraw_ = o;
    Changed();
}

void TMenuItem::SetRadioItem(bool r) {
    radioItem_ = r;
    Changed();
}

void TMenuItem::SetEnabled(bool e) {
    if (e == enabled_) return;
    enabled_ = e;
    Changed();
}

void TMenuItem::SetVisible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    if (parent_) parent_->RebuildSubmenu();
}

void TMenuItem::SetDefault(bool d) {
    default_ = d;
    Changed();
}

void TMenuItem::Click() {
    if (!enabled_) return;
    if (autoCheck_) SetChecked(radioItem_ ? true : !checked_);
    if (OnClick) OnClick(this);
}

TMenuItem* TMenuItem::FindByHandle(HMENU h) {
    if (!h) return nullptr;
    for (auto& [id, item] : Commands())
        if (item->handle_ == h) return item;
    return nullptr;
}

TMenuItem* TMenuItem::FromOwnerDraw(UINT id, ULONG_PTR data) {
    if (TMenuItem* i = FindByCommand(id); i && (data == 0 || reinterpret_cast<ULONG_PTR>(i) == data)) return i;
    // Items with a submenu may be reported by their submenu's handle.
    for (auto& [cmd, item] : Commands())
        if (reinterpret_cast<ULONG_PTR>(item) == data) return item;
    return nullptr;
}

TMenuItem* TMenuItem::FindBySubmenu(HMENU h) {
    if (handle_ == h && h) return this;
    for (TMenuItem* c : items_)
        if (TMenuItem* r = c->FindBySubmenu(h)) return r;
    return nullptr;
}

TMenuItem* TMenuItem::FindByShortCut(TShortCut sc) {
    for (TMenuItem* c : items_) {
        if (c->shortCut_ == sc && c->visible_) return c;
        if (TMenuItem* r = c->FindByShortCut(sc)) return r;
    }
    return nullptr;
}

// ---------------------------------------------------------------- TMenu

TMenu::TMenu(TComponent* owner, bool) : TComponent(owner) {
    items_ = new TMenuItem(this);
    items_->menu_ = this;
}

TMenu::~TMenu() {
    // The items go while this is still a menu: an item leaving its parent
    // tells the menu, which must not be half destroyed by then.
    DestroyComponents();
}

void TMenu::SetOwnerDraw(bool o) {
    ownerDraw_ = o;
    std::vector<TMenuItem*> stack{items_};
    while (!stack.empty()) {
        TMenuItem* i = stack.back();
        stack.pop_back();
        i->RebuildSubmenu();
        for (TMenuItem* c : i->items_) stack.push_back(c);
    }
}

bool TMenu::DispatchCommand(UINT id) {
    TMenuItem* i = TMenuItem::FindByCommand(id);
    if (!i || i->GetParentMenu() != this) return false;
    i->Click();
    return true;
}

bool TMenu::IsShortCut(TShortCut sc) {
    TMenuItem* i = items_->FindByShortCut(sc);
    if (!i) return false;
    // Parents' clicks first: they may update the item's state.
    std::vector<TMenuItem*> chain;
    for (TMenuItem* p = i->ParentItem(); p && p != items_; p = p->ParentItem()) chain.push_back(p);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) (*it)->Click();
    if (!i->Enabled()) return false;
    i->Click();
    return true;
}

TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner, false) {}

void TMainMenu::MenuChanged() {
    if (form_ && form_->HandleAllocated()) {
        DrawMenuBar(form_->HandleIfAllocated());
        // A skin that draws the menu line itself measures it again.
        form_->Perform(CM_MENUCHANGED, 0, 0);
    }
}

HMENU TMenu::TakeHandle() {
    HMENU h = items_->handle_;
    items_->handle_ = nullptr;
    return h;
}

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner, true) {}

namespace {
// The menu a popup-menu window shows (not in every header).
constexpr UINT kMnGetHMenu = 0x01E1;
} // namespace

TPopupMenu::~TPopupMenu() {
    if (!freedWhileOpen_) return;
    *freedWhileOpen_ = true;
    // The loop reads the menu it shows until it returns: the native menu
    // stays whole (the items no longer change it) and Popup frees it then.
    const HMENU shown = TakeHandle();
    // Nobody else would close a menu whose items are gone.
    EndMenuLoop(shown);
}

void EndMenuLoop(HMENU shown) {
    // The system ends only the menu it took as the top one: the window that
    // shows this menu is told as well, and the cancel wakes its loop
    // whatever it waits for.
    EndMenu();
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND wnd, LPARAM p) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(wnd, name, 16);
            if (lstrcmpW(name, L"#32768") == 0 &&
                reinterpret_cast<HMENU>(SendMessageW(wnd, kMnGetHMenu, 0, 0)) == reinterpret_cast<HMENU>(p))
                PostMessageW(wnd, WM_CANCELMODE, 0, 0);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(shown));
}

namespace {

// The height the menu will show with: owner-drawn items as the owner
// measures them, separators and text items by the system's sizes, with the
// popup's frame and margins generously counted (a menu taken as higher than
// it is opens above its title a little early, never over it).
int MenuPopupHeight(HMENU menu, HWND owner) {
    const int count = GetMenuItemCount(menu);
    int h = 2 * (GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYEDGE)) + 8;
    for (int i = 0; i < count && i < 1000; ++i) {
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_STATE;
        if (!GetMenuItemInfoW(menu, UINT(i), TRUE, &mi)) continue;
        if (mi.fType & MFT_OWNERDRAW) {
            MEASUREITEMSTRUCT ms{};
            ms.CtlType = ODT_MENU;
            ms.itemID = mi.wID;
            ms.itemData = mi.dwItemData;
            ms.itemHeight = UINT(GetSystemMetrics(SM_CYMENU));
            if (owner) SendMessageW(owner, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&ms));
            h += int(std::min<UINT>(ms.itemHeight, 1000));
        } else if (mi.fType & MFT_SEPARATOR) {
            h += GetSystemMetrics(SM_CYMENUSIZE) / 2;
        } else {
            h += std::max(GetSystemMetrics(SM_CYMENU), GetSystemMetrics(SM_CYMENUSIZE));
        }
    }
    return h;
}

} // namespace

UINT TrackMenuKeepingClear(HMENU menu, UINT flags, int x, int y, HWND owner, const RECT* keepClear) {
    if (!keepClear) return UINT(TrackPopupMenuEx(menu, flags, x, y, owner, nullptr));
    MONITORINFO mon{};
    mon.cbSize = sizeof(mon);
    GetMonitorInfoW(MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONEAREST), &mon);
    // Opened from a point on the rectangle itself (a title icon's middle),
    // the menu starts below it.
    if (x >= keepClear->left && x < keepClear->right && y >= keepClear->top && y < keepClear->bottom)
        y = keepClear->bottom;
    const int h = MenuPopupHeight(menu, owner);
    if (!(flags & (TPM_BOTTOMALIGN | TPM_VCENTERALIGN)) && y + h > mon.rcWork.bottom &&
        keepClear->top - h >= mon.rcWork.top) {
        // No room below: the menu's bottom on the title's top.
        flags |= TPM_BOTTOMALIGN;
        y = keepClear->top;
    }
    TPMPARAMS clear{sizeof(TPMPARAMS), *keepClear};
    return UINT(TrackPopupMenuEx(menu, flags | TPM_VERTICAL, x, y, owner, &clear));
}

void TPopupMenu::Popup(int x, int y, const RECT* keepClear) {
    if (OnPopup) OnPopup(this);
    HWND owner = GetActiveWindow();
    if (!owner) owner = Application->Handle();
    UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY;
    if (alignment_ == paRight) flags |= TPM_RIGHTALIGN;
    if (alignment_ == paCenter) flags |= TPM_CENTERALIGN;
    Application->CancelHint();
    // The loop runs the program's messages, and one of them may free this
    // menu (its form closed, the skin taken away): nothing of it is read
    // after the loop then but the native menu it left behind.
    bool freed = false;
    freedWhileOpen_ = &freed;
    const HMENU shown = Handle();
    UINT cmd = TrackMenuKeepingClear(shown, flags, x, y, owner, keepClear);
    if (freed) {
        DestroyMenu(shown);
        return;
    }
    freedWhileOpen_ = nullptr;
    if (OnClose) OnClose(this);
    if (cmd) DispatchCommand(cmd);
}

} // namespace tw

namespace tw {

namespace {

// The handler that paints an item: its own, else its menu's.
bool DrawMenuItem(TMenuItem* item, const DRAWITEMSTRUCT& di) {
    TMenu* menu = item->GetParentMenu();
    TCanvas canvas;
    const int saved = SaveDC(di.hDC);
    canvas.SetHandle(di.hDC);
    const TRect r(di.rcItem.left, di.rcItem.top, di.rcItem.right, di.rcItem.bottom);
    bool done = true;
    if (item->OnAdvancedDrawItem)
        item->OnAdvancedDrawItem(item, canvas, r, di.itemState);
    else if (item->OnDrawItem)
        item->OnDrawItem(item, canvas, r, (di.itemState & ODS_SELECTED) != 0);
    else if (menu && menu->OnAdvancedDrawItem)
        menu->OnAdvancedDrawItem(item, canvas, r, di.itemState);
    else
        done = false;
    canvas.SetHandle(nullptr);
    RestoreDC(di.hDC, saved);
    // After the handler the system draws a popup item's submenu arrow in the
    // DC's default colours, over what the handler drew: a handler draws the
    // whole item, its arrow too, so the system is kept off the item.
    const TMenuItem* parent = item->ParentItem();
    const bool onMenuLine = parent && !parent->ParentItem() && dynamic_cast<TMainMenu*>(menu);
    if (done && item->Count() > 0 && !onMenuLine)
        ExcludeClipRect(di.hDC, di.rcItem.left, di.rcItem.top, di.rcItem.right, di.rcItem.bottom);
    return done;
}

bool MeasureMenuItem(TMenuItem* item, MEASUREITEMSTRUCT& mi) {
    TMenu* menu = item->GetParentMenu();
    const TMenuMeasureItemEvent& handler = item->OnMeasureItem ? item->OnMeasureItem
                                           : menu                ? menu->OnMeasureItem
                                                                 : item->OnMeasureItem;
    if (!handler) return false;
    // Measured with the font menus are drawn in.
    HDC dc = GetDC(nullptr);
    const int saved = SaveDC(dc);
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    HFONT font = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0) ? CreateFontIndirectW(&ncm.lfMenuFont)
                                                                                       : nullptr;
    if (font) SelectObject(dc, font);
    TCanvas canvas;
    canvas.SetHandle(dc);
    int w = static_cast<int>(mi.itemWidth), h = static_cast<int>(mi.itemHeight);
    handler(item, canvas, w, h);
    canvas.SetHandle(nullptr);
    RestoreDC(dc, saved);
    ReleaseDC(nullptr, dc);
    if (font) DeleteObject(font);
    mi.itemWidth = static_cast<UINT>(std::max(0, w));
    mi.itemHeight = static_cast<UINT>(std::max(0, h));
    return true;
}

} // namespace

bool DispatchMenuOwnerDraw(TMessage& m) {
    try {
        switch (m.Msg) {
        case WM_DRAWITEM: {
            auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam);
            if (!di || di->CtlType != ODT_MENU) return false;
            TMenuItem* item = TMenuItem::FromOwnerDraw(di->itemID, di->itemData);
            if (!item || !DrawMenuItem(item, *di)) return false;
            m.Result = TRUE;
            return true;
        }
        case WM_MEASUREITEM: {
            auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
            if (!mi || mi->CtlType != ODT_MENU) return false;
            TMenuItem* item = TMenuItem::FromOwnerDraw(mi->itemID, mi->itemData);
            if (!item || !MeasureMenuItem(item, *mi)) return false;
            m.Result = TRUE;
            return true;
        }
        case WM_MENUCHAR: {
            // Owner-drawn items carry no text for the system to search: the
            // access key is looked up in the captions.
            TMenuItem* parent = TMenuItem::FindByHandle(reinterpret_cast<HMENU>(m.LParam));
            if (!parent) return false;
            const auto key = static_cast<wchar_t>(reinterpret_cast<uintptr_t>(
                CharUpperW(reinterpret_cast<LPWSTR>(uintptr_t(LOWORD(m.WParam))))));
            // An item without a marked key answers the first letter of its
            // caption (the menu bar's "File" to Alt+F), unless an item marks
            // that letter as its own.
            int pos = 0, byFirstLetter = -1;
            for (int i = 0; i < parent->Count(); ++i) {
                TMenuItem* c = parent->Items(i);
                if (!c->Visible()) continue;
                if (!c->IsLine() && c->Enabled()) {
                    const wchar_t hotkey = HotkeyOf(c->Caption());
                    if (hotkey == key) {
                        m.Result = MAKELRESULT(pos, MNC_EXECUTE);
                        return true;
                    }
                    if (hotkey == 0 && byFirstLetter < 0) {
                        const std::wstring text = Utf8ToWide(c->Caption());
                        wchar_t first = text.empty() ? 0 : text[0];
                        CharUpperBuffW(&first, 1);
                        if (first == key) byFirstLetter = pos;
                    }
                }
                ++pos;
            }
            if (byFirstLetter < 0) return false;
            m.Result = MAKELRESULT(byFirstLetter, MNC_EXECUTE);
            return true;
        }
        default:
            return false;
        }
    } catch (...) {
        // Nothing may unwind through the system's menu code; the handler's
        // failure is reported.
        Application->HandleException(nullptr);
        return false;
    }
}

} // namespace tw
