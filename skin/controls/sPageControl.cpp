#include "skin/controls/sPageControl.h"

#include <commctrl.h>

#include <algorithm>

#include "base/WinText.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sVclUtils.h"

namespace skin {

namespace {

// The section of the tabs of a page control whose tabs stand on top.
const char* const kTabSection = "TABTOP";
// Pixels the selected tab reaches over its neighbours' top edge.
constexpr int kSelectedRise = 2;

} // namespace

void TsTabSheet::Paint()
{
    if (!SkinData.Skinned()) {
        TTabSheet::Paint();
        return;
    }
    const int w = Width(), h = Height();
    PaintThroughCache(SkinData, w, h, Canvas().Handle(), [&](tw::TBitmap& cache) {
        PaintControlBG(SkinData, SkinData.GetParentCacheInfo(), 0, {0, 0, w, h}, {0, 0}, cache);
    });
}

uint32_t TsPageControl::PageChangeTime() const
{
    const TsSkinManager* sm = SkinData.SkinManager();
    if (!SkinData.Skinned() || !sm || !sm->AnimEffects.PageChange.Active || IsLoading() || !Visible()) return 0;
    return sm->AnimEffects.PageChange.Time;
}

void TsPageControl::SetActivePage(tw::TTabSheet* page)
{
    const uint32_t time = page != ActivePage() && HandleAllocated() ? PageChangeTime() : 0;
    if (time > 0) ShowOutputWindow(this);
    TPageControl::SetActivePage(page);
    if (HandleAllocated()) RepaintSkin();   // the tabs show the new page as selected
    if (time > 0) AnimShowControl(this, time);
}

void TsPageControl::SetActivePageIndex(int index)
{
    SetActivePage(index >= 0 && index < PageCount() ? Pages(index) : nullptr);
}

void TsPageControl::SetHotTab(int tab)
{
    if (tab == hotTab_) return;
    hotTab_ = tab;
    SkinData.BGChangedFlag = true;
    if (HandleAllocated()) InvalidateRect(Handle(), nullptr, FALSE);
}

bool TsPageControl::SkinnedMessage(tw::TMessage& m)
{
    if (OwnPaintMessage(m)) return true;
    switch (m.Msg) {
    case WM_MOUSEMOVE: {
        TCHITTESTINFO hit{};
        hit.pt = {static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
        SetHotTab(static_cast<int>(SendMessageW(Handle(), TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit))));
        return false;
    }
    case tw::CM_MOUSELEAVE:
        TPageControl::WndProc(m);
        SetHotTab(-1);
        return true;
    case tw::CN_NOTIFY:
        if (reinterpret_cast<NMHDR*>(m.LParam)->code == TCN_SELCHANGE) {
            const uint32_t time = PageChangeTime();
            if (time > 0) ShowOutputWindow(this);
            TPageControl::WndProc(m);
            SkinData.BGChangedFlag = true;
            InvalidateRect(Handle(), nullptr, FALSE);
            if (time > 0) AnimShowControl(this, time);
            return true;
        }
        return false;
    default:
        return false;
    }
}

void TsPageControl::PaintSkin(HDC dc)
{
    const int w = Width(), h = Height();
    PaintThroughCache(SkinData, w, h, dc, [&](tw::TBitmap& cache) {
        TsSkinManager* sm = SkinData.SkinManager();
        const TCacheInfo parent = SkinData.GetParentCacheInfo();
        FillFromParent(cache, parent, {0, 0, w, h});
        // The frame of the pages: from the tabs' bottom to the window's.
        const int border = sm && sm->MaskIndexValid(SkinData.BorderIndex) ? 2 : 0;
        const TRect frame{0, std::max(DisplayRect().Top - border - 2, 0), w, h};
        PaintControlItem(SkinData, parent, true, 0, frame, {0, 0}, cache, false);
        const int tabIndex = sm ? sm->GetSkinIndex(kTabSection) : -1;
        if (tabIndex < 0) return;
        const int count = static_cast<int>(SendMessageW(Handle(), TCM_GETITEMCOUNT, 0, 0));
        const int selected = static_cast<int>(SendMessageW(Handle(), TCM_GETCURSEL, 0, 0));
        cache.Canvas().Font().Assign(Font());
        for (int i = 0; i < count; ++i) {
            RECT ir{};
            if (!SendMessageW(Handle(), TCM_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&ir))) continue;
            TsTextItem tab;
            tab.R = TRect(ir);
            tab.State = i == selected ? 2 : i == hotTab_ ? 1 : 0;
            if (i == selected) tab.R.Top = std::max(tab.R.Top - kSelectedRise, 0);
            tab.R.Bottom = std::min(tab.R.Bottom + (i == selected ? 1 : 0), h);
            tab.R.Right = std::min(tab.R.Right, w);
            wchar_t text[256] = {};
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = 255;
            SendMessageW(Handle(), TCM_GETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&item));
            tab.Text = tw::WideToUtf8(text);
            PaintTextItem(cache, sm, tabIndex, kTabSection, tab, Enabled());
        }
    });
}

} // namespace skin
