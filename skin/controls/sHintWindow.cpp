#include "skin/controls/sHintWindow.h"

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/BorderPaintingWin.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/painting/sHtmlParse.h"

namespace skin {

namespace {

constexpr int kMarginX = 4, kMarginY = 3;
constexpr int kMaxHintWidth = 600;

TsSkinManager* HintManager()
{
    TsSkinManager* m = DefaultManager;
    return m && m->Active() && m->SkinLoaded() ? m : nullptr;
}

// The hint's section: its own, else the panel's.
int HintSection(TsSkinManager& m)
{
    const int index = m.GetSkinIndex("HINT");
    return m.SkinIndexValid(index) ? index : m.GetSkinIndex("PANEL");
}

// Hint lines break at CR, LF or CR LF; the renderer breaks at its tag.
std::string LinesAsMarkup(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "<br>";
        } else {
            out += text[i];
        }
    }
    return out;
}

// Renders the text into bmp inside r; returns the rectangle the text took.
TRect RenderHint(tw::TBitmap& bmp, const std::string& text, const TRect& r, const tw::TFont& font, TColor color)
{
    bmp.Canvas().Font().Assign(font);
    bmp.Canvas().Font().SetColor(color);
    bmp.Canvas().Brush().SetStyle(tw::bsClear);
    TsHtml html;
    html.Init(&bmp, LinesAsMarkup(text), r);
    return html.Render();
}

} // namespace

TacCustomHintWindow::TacCustomHintWindow(tw::TComponent* owner) : tw::THintWindow(owner) {}

TRect TacCustomHintWindow::CalcHintRect(const std::string& text)
{
    TsSkinManager* m = HintManager();
    if (!m || !m->SkinIndexValid(HintSection(*m))) return tw::THintWindow::CalcHintRect(text);
    // Measured by the renderer itself, so the window fits what it paints.
    tw::TBitmap scratch(kMaxHintWidth, 400);
    const TRect used = RenderHint(scratch, text, TRect(0, 0, kMaxHintWidth, 400), Font(), 0);
    return TRect(0, 0, used.Width() + 2 * kMarginX + 2, used.Height() + 2 * kMarginY + 2);
}

void TacCustomHintWindow::Paint()
{
    TsSkinManager* m = HintManager();
    const int index = m ? HintSection(*m) : -1;
    if (!m || !m->SkinIndexValid(index) || Width() <= 0 || Height() <= 0) {
        tw::THintWindow::Paint();
        return;
    }
    const TRect r = ClientRect();
    tw::TBitmap bmp(r.Width(), r.Height());
    PaintItemByName(bmp, m->gd[size_t(index)].Name, "PANEL", 0, m, TPoint{0, 0}, TColor(tw::ColorToRGB(Color())), nullptr);
    RenderHint(bmp, Text(), TRect(kMarginX, kMarginY, r.Width() - kMarginX, r.Height() - kMarginY), Font(),
               m->gd[size_t(index)].FontColor[0]);
    BitBlt(Canvas().Handle(), 0, 0, r.Width(), r.Height(), bmp.Canvas().Handle(), 0, 0, SRCCOPY);
}

void TacCustomHintWindow::WndProc(tw::TMessage& m)
{
    tw::THintWindow::WndProc(m);
    // Every showing may come with a new size or a new skin.
    if (m.Msg == WM_WINDOWPOSCHANGED && m.LParam) {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(m.LParam);
        if (!(pos->flags & SWP_NOSIZE) || (pos->flags & SWP_SHOWWINDOW))
            UpdateRegion();
    }
}

void TacCustomHintWindow::UpdateRegion()
{
    if (!HandleAllocated())
        return;
    HWND wnd = Handle();
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    TsSkinManager* m = HintManager();
    const int index = m ? HintSection(*m) : -1;
    if (!m || !m->SkinIndexValid(index) || w <= 0 || h <= 0) {
        if (shaped_)
            SetWindowRgn(wnd, nullptr, TRUE);
        shaped_ = false;
        return;
    }
    // The picture over the key colour: whatever the section leaves
    // transparent keeps the key and is cut away.
    tw::TBitmap bmp(w, h, tw::pf24bit);
    PaintItemByName(bmp, m->gd[size_t(index)].Name, "PANEL", 0, m, TPoint{0, 0}, clKeyColor, nullptr);
    HRGN rgn = nullptr;
    CreateMaskRegion(rgn, bmp.PixelView(), clKeyColor);
    // The window owns the region once it has taken it.
    if (SetWindowRgn(wnd, rgn, TRUE))
        shaped_ = true;
    else
        DeleteObject(rgn);
}

void UseSkinnedHints(bool on)
{
    if (!tw::Application) return;
    if (on) tw::Application->SetHintWindowClass([](tw::TComponent* owner) { return new TacCustomHintWindow(owner); });
    else tw::Application->SetHintWindowClass(nullptr);
}

} // namespace skin
