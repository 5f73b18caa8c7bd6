#include "skin/windows/sSkinMenus.h"

#include <algorithm>
#include <list>
#include <utility>
#include <vector>

#include "base/WinText.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Application.h"
#include "ui/Forms.h"

namespace skin {

namespace {

// The extra line's glyph sits centred at the top of the strip (menu
// coordinates start at the popup's top); each item draws the part that falls
// on its own piece of the strip. The glyph's bottom-left pixel is its key.
void DrawExtraLineGlyph(tw::TBitmap& glyph, const TRect& strip, HDC dc)
{
    if (glyph.Empty() || strip.Width() <= 0) return;
    const int x = strip.Left + (strip.Width() - glyph.Width()) / 2, y = 2;
    if (y >= strip.Bottom || y + glyph.Height() <= strip.Top) return;
    HDC src = glyph.Canvas().Handle();
    const COLORREF key = GetPixel(src, 0, glyph.Height() - 1);
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, strip.Left, strip.Top, strip.Right, strip.Bottom);
    TransparentBlt(dc, x, y, glyph.Width(), glyph.Height(), src, 0, 0, glyph.Width(), glyph.Height(), key);
    RestoreDC(dc, saved);
}


// The popup menus known: the windows skinned now, by their menu, and the
// popups whose first item was painted. The painter reports a popup only
// until its window is ours.
// A list: a record found stays where it is while others come and go.
std::list<TacMenuInfo>& MenuRecords()
{
    static std::list<TacMenuInfo> list;
    return list;
}

constexpr UINT MN_GETHMENU_ = 0x01E1;

using TSections = TsSkinableMenus::TMenuSections;

TSections SectionsOf(const TsSkinManager& sm)
{
    TSections s;
    s.Line = sm.GetSkinIndex("MENULINE");
    s.Item = sm.GetSkinIndex("MENUITEM");
    s.Main = sm.GetSkinIndex("MAINMENU");
    if (!sm.SkinIndexValid(s.Main))
        s.Main = s.Item;
    const std::string ico = sm.MenuSupport.IcoLineSkin.empty() ? std::string("ICOLINE") : sm.MenuSupport.IcoLineSkin;
    s.Icons = sm.GetSkinIndex(ico);
    return s;
}

TColor SectionColor(const TsSkinManager& sm, int index, bool hot)
{
    if (!sm.SkinIndexValid(index))
        return TColor(GetSysColor(COLOR_MENU));
    const TsGeneralData& g = sm.gd[size_t(index)];
    return hot ? g.HotColor : g.Color;
}

TColor SectionFontColor(const TsSkinManager& sm, int index, bool hot)
{
    if (!sm.SkinIndexValid(index))
        return TColor(GetSysColor(COLOR_MENUTEXT));
    const TsGeneralData& g = sm.gd[size_t(index)];
    return hot ? g.HotFontColor[0] : g.FontColor[0];
}

// A section painted over r of a DC, its corners filled with the colour
// around it (key-coloured corners never show).
void PaintSection(TsSkinManager& sm, int index, int state, const TRect& r, HDC dc, TColor around)
{
    if (r.Width() <= 0 || r.Height() <= 0)
        return;
    if (!sm.SkinIndexValid(index)) {
        FillDC(dc, r, around);
        return;
    }
    TCacheInfo ci;
    ci.FillColor = around;
    PaintItemToDC(index, sm.gd[size_t(index)].Name, ci, true, state, r, {0, 0}, dc, &sm);
}

void SetMenuFont(tw::TCanvas& canvas)
{
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0))
        return;
    canvas.Font().SetName(tw::WideToUtf8(ncm.lfMenuFont.lfFaceName));
    canvas.Font().SetHeight(ncm.lfMenuFont.lfHeight);
    canvas.Font().SetStyle(ncm.lfMenuFont.lfWeight >= FW_SEMIBOLD ? tw::fsBold : tw::TFontStyles(0));
}

// The first visible item of the item's popup.
bool IsFirstOfPopup(const tw::TMenuItem* item)
{
    const tw::TMenuItem* parent = item->ParentItem();
    if (!parent)
        return false;
    for (int i = 0; i < parent->Count(); ++i)
        if (parent->Items(i)->Visible())
            return parent->Items(i) == item;
    return false;
}

TacPendingMenuItem& PendingRecord()
{
    static TacPendingMenuItem pending;
    return pending;
}

// A hot or open item of a form's menu line, drawn in the window's
// coordinates, is left for the provider to draw normal again.
void LeavePending(tw::TMenuItem* item, const TRect& r)
{
    const tw::TMenuItem* parent = item->ParentItem();
    auto* menu = parent && !parent->ParentItem() ? dynamic_cast<tw::TMainMenu*>(parent->GetParentMenu()) : nullptr;
    tw::TCustomForm* form = menu ? menu->Form() : nullptr;
    if (!form || !form->HandleAllocated())
        return;
    PendingRecord() = TacPendingMenuItem{item, item->Command(), form->Handle(), r};
}

void DrawCheck(tw::TCanvas& canvas, const TRect& box, bool radio, TColor color)
{
    canvas.Pen().SetColor(color);
    canvas.Brush().SetColor(color);
    canvas.Brush().SetStyle(tw::bsSolid);
    const int cx = (box.Left + box.Right) / 2, cy = (box.Top + box.Bottom) / 2;
    if (radio) {
        canvas.Ellipse(cx - 3, cy - 3, cx + 4, cy + 4);
    } else {
        // A tick two pixels thick.
        for (int d = 0; d < 2; ++d)
            canvas.Polyline({TPoint(cx - 4, cy - 1 + d), TPoint(cx - 1, cy + 2 + d), TPoint(cx + 5, cy - 4 + d)});
    }
    canvas.Brush().SetStyle(tw::bsClear);
}

// The submenu arrow, a small triangle centred in the room at the item's
// right end. The system's own arrow would come in the DC's default colours
// (black on white), so the item owns this room.
void DrawSubmenuArrow(tw::TCanvas& canvas, const TRect& item, TColor color)
{
    const int cx = item.Right - kMenuArrowRoom / 2, cy = (item.Top + item.Bottom) / 2;
    canvas.Pen().SetColor(color);
    canvas.Brush().SetColor(color);
    canvas.Brush().SetStyle(tw::bsSolid);
    canvas.Polygon({TPoint(cx - 2, cy - 4), TPoint(cx + 2, cy), TPoint(cx - 2, cy + 4)});
    canvas.Brush().SetStyle(tw::bsClear);
}

} // namespace

namespace {

// The manager and the controls' skin links lie below the menu skinning and
// reach it through these.
void UpdateManagerMenus(TsSkinManager& manager)
{
    if (TsSkinableMenus* s = TsSkinableMenus::Of(&manager))
        s->UpdateFromSkin();
}

void PrepareControlPopup(tw::TPopupMenu* menu, TsSkinManager* manager)
{
    // One look per program: the default manager's service paints menus.
    if (!menu || !manager || manager != DefaultManager)
        return;
    TsSkinableMenus* s = TsSkinableMenus::Of(manager);
    s->UpdateFromSkin();
    s->PrepareMenu(menu, s->Active());
}

// The manager drops the painter's sections before it announces a new skin.
void ResetManagerMenuCache(TsSkinManager& manager)
{
    TsSkinableMenus::ClearMenuInfos();
    for (int i = 0; i < manager.ComponentCount(); ++i)
        if (auto* s = dynamic_cast<TsSkinableMenus*>(manager.Components(i)))
            s->ResetSkinCache();
}

[[maybe_unused]] const bool g_menuSeamsInstalled = [] {
    ResetMenuSkinCache = ResetManagerMenuCache;
    UpdateMenusFromSkin = UpdateManagerMenus;
    PreparePopupMenu = PrepareControlPopup;
    MakeMenuService = [](TsSkinManager& manager) { TsSkinableMenus::Of(&manager); };
    return true;
}();

} // namespace

TsSkinableMenus::TsSkinableMenus(TsSkinManager* manager) : tw::TComponent(manager), manager_(manager)
{
    active_ = Active();
    // The main-window hook skins the popup windows the painter reports.
    SubclassPopupMenuWindow = [](HWND wnd) {
        if (TsSkinableMenus* s = Of(DefaultManager))
            s->SubclassMenuWindow(wnd);
    };
}

TsSkinableMenus::~TsSkinableMenus() = default;

TsSkinableMenus* TsSkinableMenus::Of(TsSkinManager* manager)
{
    if (!manager)
        return nullptr;
    for (int i = 0; i < manager->ComponentCount(); ++i)
        if (auto* s = dynamic_cast<TsSkinableMenus*>(manager->Components(i)))
            return s;
    return new TsSkinableMenus(manager);
}

bool TsSkinableMenus::Active() const
{
    return manager_ && manager_->SkinnedPopups() && manager_->Active() &&
           manager_->SkinIndexValid(manager_->GetSkinIndex("MENUITEM"));
}

const TacGetExtraLineData& TsSkinableMenus::ExtraLineEvent() const
{
    // The manager's event serves every menu; the service's own overrides it.
    if (OnGetMenuExtraLineData || !manager_)
        return OnGetMenuExtraLineData;
    return manager_->OnGetMenuExtraLineData;
}

const TsSkinableMenus::TMenuSections& TsSkinableMenus::Sections()
{
    if (!manager_) {
        sections_ = TMenuSections();
        return sections_;
    }
    // An index beyond the tables can only be left from another skin.
    const int count = int(manager_->gd.size());
    const bool inRange = sections_.Line < count && sections_.Item < count && sections_.Main < count &&
                         sections_.Icons < count;
    if (!sectionsValid_ || !inRange || sectionsIcoLine_ != manager_->MenuSupport.IcoLineSkin) {
        sections_ = SectionsOf(*manager_);
        sectionsIcoLine_ = manager_->MenuSupport.IcoLineSkin;
        sectionsValid_ = true;
    }
    return sections_;
}

bool TsSkinableMenus::UpdateFromSkin()
{
    const bool now = Active();
    if (now == active_)
        return false;
    active_ = now;
    return true;
}

void TsSkinableMenus::PrepareMenu(tw::TMenu* menu, bool skinned)
{
    if (!menu)
        return;
    if (skinned) {
        menu->OnMeasureItem = [this](tw::TObject* sender, tw::TCanvas& canvas, int& w, int& h) {
            if (auto* item = dynamic_cast<tw::TMenuItem*>(sender))
                MeasureItem(item, canvas, w, h);
        };
        menu->OnAdvancedDrawItem = [this](tw::TObject* sender, tw::TCanvas& canvas, const TRect& r, UINT state) {
            if (auto* item = dynamic_cast<tw::TMenuItem*>(sender))
                DrawItem(item, canvas, r, state);
        };
        if (!menu->OwnerDraw())
            menu->SetOwnerDraw(true);
    } else {
        menu->OnMeasureItem = nullptr;
        menu->OnAdvancedDrawItem = nullptr;
        if (menu->OwnerDraw())
            menu->SetOwnerDraw(false);
    }
}

void TsSkinableMenus::PrepareMenu(tw::TMenuItem* item, bool skinned)
{
    if (!item)
        return;
    if (skinned) {
        item->OnMeasureItem = [this](tw::TObject* sender, tw::TCanvas& canvas, int& w, int& h) {
            if (auto* i = dynamic_cast<tw::TMenuItem*>(sender))
                MeasureItem(i, canvas, w, h);
        };
        item->OnAdvancedDrawItem = [this](tw::TObject* sender, tw::TCanvas& canvas, const TRect& r, UINT state) {
            if (auto* i = dynamic_cast<tw::TMenuItem*>(sender))
                DrawItem(i, canvas, r, state);
        };
    } else {
        item->OnMeasureItem = nullptr;
        item->OnAdvancedDrawItem = nullptr;
    }
    // An item on a main menu's line is owner-drawn with its menu: the line
    // belongs to whoever draws the frame (the provider with its own, the
    // system with its). The provider's line painter still reaches the item
    // through its handler. Any other item is owner-drawn on its own.
    if (!OnMenuLine(item, 0))
        item->SetOwnerDraw(skinned);
}

TacMenuInfo* TsSkinableMenus::GetMenuInfo(tw::TMenuItem* item, bool create, HWND wnd)
{
    auto& list = MenuRecords();
    const HMENU menu = item && item->ParentItem() ? item->ParentItem()->Handle() : nullptr;
    if (item) {
        // The popup's own menu first. A record is taken by its first item
        // only while it names no other menu: an item's address is another
        // item's once the first is freed, and a record left by a popup whose
        // window ended unseen (the skin went while it was open) would else
        // be found for this popup, with no window of it, on every paint.
        TacMenuInfo* byItem = nullptr;
        for (TacMenuInfo& r : list) {
            if (menu && r.Menu == menu) {
                r.FirstItem = item;
                return &r;
            }
            if (!byItem && r.FirstItem == item && (!r.Menu || !menu))
                byItem = &r;
        }
        if (byItem) {
            if (!byItem->Menu)
                byItem->Menu = menu;
            return byItem;
        }
    } else {
        for (TacMenuInfo& r : list)
            if (wnd && r.Wnd == wnd)
                return &r;
    }
    if (!create || (!item && !wnd))
        return nullptr;
    list.push_back(TacMenuInfo{menu, item ? nullptr : wnd, item});
    return &list.back();
}

void TsSkinableMenus::ClearMenuInfos()
{
    auto& list = MenuRecords();
    list.remove_if([](const TacMenuInfo& r) { return !r.Wnd || !IsWindow(r.Wnd); });
}

bool TsSkinableMenus::Prepared(const tw::TMenu* menu) const
{
    return menu && menu->OwnerDraw() && menu->OnAdvancedDrawItem;
}

bool TsSkinableMenus::OnMenuLine(const tw::TMenuItem* item, UINT state)
{
    if ((state & kMenuLineState) == kMenuLineState)
        return true;
    const tw::TMenuItem* parent = item->ParentItem();
    return parent && !parent->ParentItem() && dynamic_cast<tw::TMainMenu*>(parent->GetParentMenu());
}

void TsSkinableMenus::MeasureItem(tw::TMenuItem* item, tw::TCanvas& canvas, int& width, int& height)
{
    SetMenuFont(canvas);
    const std::string caption = tw::StripHotkey(item->Caption());
    const SIZE text = canvas.TextExtent(caption.empty() ? std::string("0") : caption);
    if (OnMenuLine(item, 0)) {
        width = text.cx + 12;
        height = std::max<int>(GetSystemMetrics(SM_CYMENU), text.cy + 4);
        return;
    }
    if (item->IsLine()) {
        width = kMenuIconColumn;
        height = kMenuSeparatorHeight;
        return;
    }
    height = std::max<int>(kMenuMinItemHeight, text.cy + 8);
    width = kMenuIconColumn + 8 + text.cx + 8;
    if (item->ShortCut())
        width += kMenuShortCutGap + canvas.TextExtent(tw::ShortCutToText(item->ShortCut())).cx;
    width += kMenuArrowRoom;
    const TacGetExtraLineData& extraLine = ExtraLineEvent();
    if (manager_ && manager_->MenuSupport.UseExtraLine && IsFirstOfPopup(item) && extraLine) {
        std::string section, text2;
        tw::TBitmap glyph;
        bool visible = false;
        extraLine(item, section, text2, glyph, visible);
        if (visible)
            width += manager_->MenuSupport.ExtraLineWidth;
    }
}

void TsSkinableMenus::DrawItem(tw::TMenuItem* item, tw::TCanvas& canvas, const TRect& r, UINT state)
{
    if (!manager_ || r.Width() <= 0 || r.Height() <= 0)
        return;
    TsSkinManager& sm = *manager_;
    const TSections s = Sections();
    HDC dc = canvas.Handle();
    SetMenuFont(canvas);
    const bool enabled = item->Enabled() && !(state & (ODS_GRAYED | ODS_DISABLED));
    const bool selected = (state & (ODS_SELECTED | ODS_HOTLIGHT)) != 0;
    const std::string caption = item->Caption();
    const UINT prefix = (state & ODS_NOACCEL) ? UINT(DT_HIDEPREFIX) : 0u;

    if (OnMenuLine(item, state)) {
        if (selected && enabled)
            LeavePending(item, r);
        const TColor lineColor = SectionColor(sm, s.Line, false);
        PaintSection(sm, s.Line, 0, r, dc, lineColor);
        int textIndex = s.Line;
        if (selected && enabled) {
            PaintSection(sm, s.Main, 1, r, dc, lineColor);
            textIndex = s.Main;
        }
        if (!sm.SkinIndexValid(textIndex))
            textIndex = s.Item;
        WriteSectionText(&canvas, caption.c_str(), enabled, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | prefix,
                         textIndex, selected && enabled, &sm);
        return;
    }

    const TColor itemColor = SectionColor(sm, s.Item, false);
    TRect body = r;
    const TacGetExtraLineData& extraLine = ExtraLineEvent();
    if (sm.MenuSupport.UseExtraLine && extraLine && item->ParentItem()) {
        // The extra line runs along the whole popup: each item paints its
        // part of the strip.
        tw::TMenuItem* first = nullptr;
        for (int i = 0; i < item->ParentItem()->Count() && !first; ++i)
            if (item->ParentItem()->Items(i)->Visible())
                first = item->ParentItem()->Items(i);
        std::string section = "MENUITEM", text;
        tw::TBitmap glyph;
        bool visible = false;
        extraLine(first, section, text, glyph, visible);
        if (visible) {
            const int w = std::min(sm.MenuSupport.ExtraLineWidth, r.Width() / 2);
            const int index = sm.SkinIndexValid(sm.GetSkinIndex(section)) ? sm.GetSkinIndex(section) : s.Icons;
            const TRect strip(r.Left, r.Top, r.Left + w, r.Bottom);
            PaintSection(sm, index, 0, strip, dc, itemColor);
            DrawExtraLineGlyph(glyph, strip, dc);
            body.Left += w;
        }
    }
    PaintSection(sm, s.Item, 0, body, dc, itemColor);
    const TRect icons(body.Left, body.Top, body.Left + kMenuIconColumn, body.Bottom);
    PaintSection(sm, s.Icons, 0, icons, dc, itemColor);

    if (item->IsLine()) {
        const int y = (body.Top + body.Bottom) / 2;
        const TColor c = BlendColors(SectionFontColor(sm, s.Item, false), itemColor, 0.35);
        FillDC(dc, TRect(icons.Right + 4, y, body.Right - 4, y + 1), c);
        PostPopupMessage(item);
        return;
    }
    if (selected && enabled)
        PaintSection(sm, s.Item, 1, body, dc, itemColor);
    if (item->Checked()) {
        const TColor c = SectionFontColor(sm, selected && enabled ? s.Item : s.Icons, selected && enabled);
        DrawCheck(canvas, icons, item->RadioItem(), enabled ? c : BlendColors(c, itemColor, 0.5));
    }
    const bool hot = selected && enabled;
    TRect text(icons.Right + 8, body.Top, body.Right - kMenuArrowRoom, body.Bottom);
    WriteSectionText(&canvas, caption.c_str(), enabled, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | prefix, s.Item,
                     hot, &sm);
    if (item->ShortCut()) {
        // Every item of a popup is as wide as the widest: right-aligned, the
        // shortcuts stand in one column.
        const std::string keys = tw::ShortCutToText(item->ShortCut());
        WriteSectionText(&canvas, keys.c_str(), enabled, text, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
                         s.Item, hot, &sm);
    }
    if (item->Count() > 0) {
        const TColor c = SectionFontColor(sm, s.Item, hot);
        DrawSubmenuArrow(canvas, body, enabled ? c : BlendColors(c, itemColor, 0.5));
    }
    PostPopupMessage(item);
}

void TsSkinableMenus::PostPopupMessage(tw::TMenuItem* item)
{
    // The painter of a popup's first item reports the popup, once: the
    // main-window hook then skins its window.
    if (!IsFirstOfPopup(item) || !tw::Application)
        return;
    const TacMenuInfo* info = GetMenuInfo(item, true);
    if (info && info->Wnd && IsWindow(info->Wnd) && IsWindowVisible(info->Wnd))
        return;
    HWND app = tw::Application->Handle();
    MSG pending;
    if (PeekMessageW(&pending, app, WM_SKINPOPUPMENU, WM_SKINPOPUPMENUWINDOW, PM_NOREMOVE))
        return;
    PostMessageW(app, WM_SKINPOPUPMENU, 0, reinterpret_cast<LPARAM>(item->ParentItem()->Handle()));
}

namespace {
bool g_systemMenuUp = false;
} // namespace

bool SystemMenuUp() { return g_systemMenuUp; }
void SetSystemMenuUp(bool up) { g_systemMenuUp = up; }

const TacPendingMenuItem* PendingMenuLineItem()
{
    TacPendingMenuItem& p = PendingRecord();
    if (!p.Item)
        return nullptr;
    // The item is looked up before anything of it is read: a freed item is
    // no longer found by its command.
    tw::TMenuItem* item = tw::TMenuItem::FindByCommand(p.Command);
    const tw::TMenuItem* parent = item == p.Item ? item->ParentItem() : nullptr;
    auto* menu = parent && !parent->ParentItem() ? dynamic_cast<tw::TMainMenu*>(parent->GetParentMenu()) : nullptr;
    tw::TCustomForm* form = menu ? menu->Form() : nullptr;
    if (!form || !form->HandleAllocated() || form->Handle() != p.Wnd || form->Menu() != menu) {
        p = TacPendingMenuItem();
        return nullptr;
    }
    return &p;
}

void ClearPendingMenuLineItem() { PendingRecord() = TacPendingMenuItem(); }

// --------------------------------------------------------------------------
// The popup window

void ForgetMenuWindow(HWND wnd)
{
    auto& list = MenuRecords();
    list.remove_if([wnd](const TacMenuInfo& r) { return r.Wnd == wnd; });
}

bool RememberMenuWindow(HWND wnd)
{
    // The menu is known once the window shows it, not yet while it is made.
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(wnd, MN_GETHMENU_, 0, 0));
    if (!menu)
        return false;
    auto& list = MenuRecords();
    bool changed = false;
    TacMenuInfo* own = TsSkinableMenus::GetMenuInfo(nullptr, false, wnd);
    if (own && own->Menu != menu) {
        own->Menu = menu;
        changed = true;
    }
    // The painter may have met the popup's first item before its window; a
    // record of this menu whose window has ended is taken over as well.
    for (TacMenuInfo& r : list) {
        if (own)
            break;
        if (r.Menu == menu && (!r.Wnd || !IsWindow(r.Wnd))) {
            r.Wnd = wnd;
            own = &r;
            changed = true;
        }
    }
    if (!own) {
        list.push_back(TacMenuInfo{menu, wnd, nullptr});
        own = &list.back();
        changed = true;
    }
    // One record per menu: any other of it, without a window or with an
    // ended one, would be found before this one and say the popup is not
    // yet skinned.
    list.remove_if([&](const TacMenuInfo& r) { return &r != own && r.Menu == menu && (!r.Wnd || !IsWindow(r.Wnd)); });
    return changed;
}

bool SkinnedMenuWindow(HMENU menu)
{
    for (const TacMenuInfo& r : MenuRecords())
        if (r.Menu == menu && r.Wnd && IsWindow(r.Wnd) && IsWindowVisible(r.Wnd))
            return true;
    return false;
}

TRect PopupMenuInsets(HWND wnd)
{
    RECT client{};
    GetClientRect(wnd, &client);
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(wnd, MN_GETHMENU_, 0, 0));
    RECT first{};
    if (!menu || GetMenuItemCount(menu) <= 0 || !GetMenuItemRect(wnd, menu, 0, &first))
        return TRect(3, 3, 3, 3);
    POINT tl{first.left, first.top}, br{first.right, first.bottom};
    ScreenToClient(wnd, &tl);
    ScreenToClient(wnd, &br);
    const int left = std::clamp<int>(tl.x, 0, 16), top = std::clamp<int>(tl.y, 0, 16);
    const int right = std::clamp<int>(client.right - br.x, 0, 16);
    return TRect(left, top, right, top);
}

void TsSkinableMenus::PaintPopupFrame(HWND wnd, HDC dc)
{
    if (!manager_ || !Active())
        return;
    TsSkinManager& sm = *manager_;
    const TSections s = Sections();
    RECT cr{};
    GetClientRect(wnd, &cr);
    const TRect in = PopupMenuInsets(wnd);
    const int saved = SaveDC(dc);
    // Only the ring around the items: they are painted by their owner.
    ExcludeClipRect(dc, in.Left, in.Top, cr.right - in.Right, cr.bottom - in.Bottom);
    PaintSection(sm, s.Main, 0, TRect(0, 0, cr.right, cr.bottom), dc, SectionColor(sm, s.Item, false));
    RestoreDC(dc, saved);
}

bool SkinMenuWindowMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp,
                           const std::function<LRESULT(UINT, WPARAM, LPARAM)>& callOld, LRESULT& result)
{
    TsSkinableMenus* self = TsSkinableMenus::Of(DefaultManager);
    switch (msg) {
    case SM_ALPHACMD:
        switch (SkinCommandOf(wp)) {
        case AC_SETACTIVESTATE:
            result = 1;   // already skinned
            return true;
        case AC_MENUPREPARED:
            // Painted again only when the window was new to the table: the
            // painting reports the popup, and a report that changed nothing
            // must not paint it again, or the two would feed each other for
            // as long as the menu is open and starve its timers.
            if (RememberMenuWindow(wnd))
                InvalidateRect(wnd, nullptr, FALSE);
            result = 0;
            return true;
        default:
            result = 0;
            return true;
        }
    case WM_PAINT: {
        result = callOld(msg, wp, lp);
        if (self) {
            HDC dc = GetDC(wnd);
            if (dc) {
                self->PaintPopupFrame(wnd, dc);
                ReleaseDC(wnd, dc);
            }
        }
        return true;
    }
    case WM_PRINTCLIENT: {
        result = callOld(msg, wp, lp);
        if (self && wp)
            self->PaintPopupFrame(wnd, reinterpret_cast<HDC>(wp));
        return true;
    }
    case WM_NCPAINT: {
        RECT wr{}, cr{};
        GetWindowRect(wnd, &wr);
        GetClientRect(wnd, &cr);
        if (!self || !self->Active() || (wr.right - wr.left == cr.right && wr.bottom - wr.top == cr.bottom))
            return false;
        // A system frame around the client area takes the frame colour.
        HDC dc = GetWindowDC(wnd);
        if (dc) {
            POINT o{0, 0};
            ClientToScreen(wnd, &o);
            const int saved = SaveDC(dc);
            ExcludeClipRect(dc, o.x - wr.left, o.y - wr.top, o.x - wr.left + cr.right, o.y - wr.top + cr.bottom);
            const TSections s = self->Sections();
            FillDC(dc, TRect(0, 0, wr.right - wr.left, wr.bottom - wr.top), SectionColor(*self->manager_, s.Main, false));
            RestoreDC(dc, saved);
            ReleaseDC(wnd, dc);
        }
        result = 0;
        return true;
    }
    default:
        return false;
    }
}

LRESULT CALLBACK TsSkinableMenus::MenuWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    const auto old = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!old)
        return DefWindowProcW(wnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        ForgetMenuWindow(wnd);
        SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        return CallWindowProcW(old, wnd, msg, wp, lp);
    }
    // Whether the menu's own procedure already had this message: a failure
    // after that must not hand it over a second time.
    bool chained = false;
    LRESULT chainedResult = 0;
    try {
        LRESULT result = 0;
        if (SkinMenuWindowMessage(
                wnd, msg, wp, lp,
                [&](UINT m, WPARAM w, LPARAM l) {
                    const LRESULT r = CallWindowProcW(old, wnd, m, w, l);
                    if (m == msg) {
                        chained = true;
                        chainedResult = r;
                    }
                    return r;
                },
                result))
            return result;
    } catch (...) {
        // The menu keeps the system's look; nothing unwinds through it, and
        // the failure is reported.
        tw::Application->HandleException(nullptr);
    }
    return chained ? chainedResult : CallWindowProcW(old, wnd, msg, wp, lp);
}

void TsSkinableMenus::SubclassMenuWindow(HWND wnd)
{
    if (!IsOwnPopupMenuWindow(wnd))
        return;
    if (SendSkinCommand(wnd, AC_SETACTIVESTATE) != 0) {
        SendSkinCommand(wnd, AC_MENUPREPARED);
        return;
    }
    // The system keeps nothing of its own in the menu window's user data.
    if (GetWindowLongPtrW(wnd, GWLP_USERDATA) != 0)
        return;
    const LONG_PTR old = GetWindowLongPtrW(wnd, GWLP_WNDPROC);
    SetWindowLongPtrW(wnd, GWLP_USERDATA, old);
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MenuWindowProc));
    ++subclassed_;
    RememberMenuWindow(wnd);
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(wnd, nullptr, FALSE);
}

} // namespace skin
