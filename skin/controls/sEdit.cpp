#include "skin/controls/sEdit.h"

#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/BorderPaintingWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Guards.h"

namespace skin {

namespace {

int EditState(const TsCommonData& data) { return (data.ControlFocused() || data.MouseAbove) ? 1 : 0; }

} // namespace

bool PaintEditFrame(tw::TWinControl& control, TsCommonData& data)
{
    if (!data.Skinned() || !control.HandleAllocated()) return false;
    HWND wnd = control.Handle();
    RECT wr{};
    GetWindowRect(wnd, &wr);
    const int width = wr.right - wr.left, height = wr.bottom - wr.top;
    // The system edge is as wide as the client area's left side lies in
    // from the window's (scroll bars only widen the right and bottom).
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int edge = origin.x - wr.left;
    if (edge <= 0 || width <= 0 || height <= 0) return false;
    TWindowDC dc(wnd);
    if (!dc.Handle()) return false;
    TRect inner;
    PaintControlBorder(dc.Handle(), TRect{0, 0, width, height}, edge, data, EditState(data), inner);
    return true;
}

bool PaintClientFrame(tw::TWinControl& control, TsCommonData& data, int edge)
{
    if (!data.Skinned() || !control.HandleAllocated() || edge <= 0) return false;
    HWND wnd = control.Handle();
    RECT cr{};
    GetClientRect(wnd, &cr);
    if (cr.right <= 0 || cr.bottom <= 0) return false;
    tw::TWindowDC dc(wnd);
    if (!dc.Handle()) return false;
    TRect inner;
    PaintControlBorder(dc, TRect{0, 0, cr.right, cr.bottom}, edge, data, EditState(data), inner);
    return true;
}

void TakeEditColors(tw::TControl& control, TsCommonData& data)
{
    TsSkinManager* sm = data.SkinManager();
    const bool skinned = data.Skinned() && sm && sm->SkinIndexValid(data.SkinIndex);
    const TColor color = skinned ? sm->gd[size_t(data.SkinIndex)].Color : tw::clWindow;
    const TColor font = skinned ? sm->gd[size_t(data.SkinIndex)].FontColor[0] : tw::clWindowText;
    if (!data.CustomColor() && control.Color() != color) control.SetColor(color);
    if (!data.CustomFont() && control.Font().Color() != font) control.Font().SetColor(font);
}

} // namespace skin
