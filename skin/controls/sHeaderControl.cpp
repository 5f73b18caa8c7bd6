#include "skin/controls/sHeaderControl.h"

#include <commctrl.h>

#include <algorithm>

#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sVclUtils.h"

namespace skin {

namespace {

// Header sections look like the skin's push buttons.
const char* const kSectionLook = "BUTTON";
constexpr int kTextIndent = 4;

} // namespace

TsHeaderControl::TsHeaderControl(tw::TComponent* owner) : TsSkinnedControl(owner, 0) { SkinData.SetSkinSection(kSectionLook); }

int TsHeaderControl::SectionAt(LPARAM point)
{
    HDHITTESTINFO hit{};
    hit.pt = {static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    const int i = static_cast<int>(SendMessageW(Handle(), HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    return (hit.flags & HHT_ONHEADER) ? i : -1;
}

void TsHeaderControl::SetLook(int hot, int pressed)
{
    if (hot == hot_ && pressed == pressed_) return;
    const bool hotOnly = pressed == pressed_;
    const bool entering = hot >= 0;
    hot_ = hot;
    pressed_ = pressed;
    if (hotOnly) {
        // The sections light up and go dark the way the skin's buttons do.
        ShowNewLook(entering ? aeMouseEnter : aeMouseLeave, entering ? 1 : 2);
        return;
    }
    SkinData.BGChangedFlag = true;
    if (HandleAllocated()) InvalidateRect(Handle(), nullptr, FALSE);
}

bool TsHeaderControl::SkinnedMessage(tw::TMessage& m)
{
    if (OwnPaintMessage(m)) return true;
    switch (m.Msg) {
    case WM_MOUSEMOVE:
        SetLook(SectionAt(m.LParam), pressed_);
        return false;
    case WM_LBUTTONDOWN:
        SetLook(hot_, SectionAt(m.LParam));
        return false;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        SetLook(hot_, -1);
        return false;
    case tw::CM_MOUSELEAVE:
        THeaderControl::WndProc(m);
        SetLook(-1, pressed_);
        return true;
    case tw::CN_NOTIFY:
        // A section resized: its neighbours move.
        SkinData.BGChangedFlag = true;
        return false;
    default:
        return false;
    }
}

void TsHeaderControl::PaintSkin(HDC dc)
{
    const int w = Width(), h = Height();
    PaintThroughCache(SkinData, w, h, dc, [&](tw::TBitmap& cache) {
        TsSkinManager* sm = SkinData.SkinManager();
        const TCacheInfo parent = SkinData.GetParentCacheInfo();
        FillFromParent(cache, parent, {0, 0, w, h});
        cache.Canvas().Font().Assign(Font());
        const int count = static_cast<int>(SendMessageW(Handle(), HDM_GETITEMCOUNT, 0, 0));
        int right = 0;
        for (int i = 0; i < count; ++i) {
            RECT ir{};
            if (!SendMessageW(Handle(), HDM_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&ir))) continue;
            TsTextItem section;
            section.R = TRect(ir);
            section.R.Right = std::min(section.R.Right, w);
            section.State = i == pressed_ ? 2 : i == hot_ ? 1 : 0;
            if (i < SectionCount()) {
                section.Text = Sections(i).Text;
                section.Flags = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | TextFlagsByAlignment(Sections(i).Alignment);
            }
            section.TextIndent = kTextIndent;
            PaintTextItem(cache, sm, SkinData.SkinIndex, SkinData.SkinSection(), section, Enabled());
            right = std::max<int>(right, ir.right);
        }
        // The empty rest of the header, as a section in its normal look.
        if (right < w)
            PaintItem(sm, SkinData.SkinIndex, SkinData.SkinSection(), parent, true, 0, {right, 0, w, h}, {0, 0},
                      cache.PixelView());
    });
}

} // namespace skin
