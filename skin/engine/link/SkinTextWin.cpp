#include "skin/engine/link/SkinText.h"

#include <cstring>

#include "base/WinText.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/GraphicsUtils.h"

namespace skin {

namespace {

int PlainDrawText(HDC dc, const std::wstring& text, RECT* r, UINT flags)
{
    return DrawTextW(dc, text.c_str(), int(text.size()), r, flags);
}

void Pass(tw::TCanvas& canvas, const std::wstring& text, TRect r, UINT flags, TColor color)
{
    canvas.Font().SetColor(color);
    canvas.RequireState();
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    SkinDrawText(canvas.Handle(), text, &rc, flags);
}

// The contour passes of a section: left, top, right, bottom, each one pixel
// out, each only when its colour is set.
void ContourPasses(tw::TCanvas& canvas, const std::wstring& text, const TRect& r, UINT flags, const TsGeneralData& s,
                   bool hot)
{
    const auto& c = hot ? s.HotFontColor : s.FontColor;
    const TPoint shifts[] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        if (c[size_t(i + 1)] == -1) continue;
        TRect shifted{r.Left + shifts[i].X, r.Top + shifts[i].Y, r.Right + shifts[i].X, r.Bottom + shifts[i].Y};
        Pass(canvas, text, shifted, flags, c[size_t(i + 1)]);
    }
}

// Saves the DC and clips it to the text's rectangle for one drawing.
class TClippedDC {
public:
    TClippedDC(HDC dc, const TRect& r) : dc_(dc), saved_(SaveDC(dc)) { IntersectClipRect(dc, r.Left, r.Top, r.Right, r.Bottom); }
    ~TClippedDC() { RestoreDC(dc_, saved_); }
    TClippedDC(const TClippedDC&) = delete;
    TClippedDC& operator=(const TClippedDC&) = delete;

private:
    HDC dc_;
    int saved_;
};

} // namespace

int (*SkinDrawText)(HDC dc, const std::wstring& text, RECT* r, UINT flags) = PlainDrawText;

int DrawSectionText(tw::TCanvas* canvas, const char* text, bool enabled, TRect r, UINT flags, int skinIndex, bool hot,
                    TsSkinManager* manager)
{
    TsSkinManager* sm = manager ? manager : DefaultManager;
    if (!canvas || !sm || !sm->SkinIndexValid(skinIndex)) return 0;
    canvas->Brush().SetStyle(tw::bsClear);
    if (!text) return 0;
    const std::wstring w = tw::Utf8ToWide(text);
    const TsGeneralData& s = sm->gd[size_t(skinIndex)];
    if (!enabled) {
        Pass(*canvas, w, r, flags, BlendColors(s.FontColor[0], s.Color, 0.4));
        return 0;
    }
    ContourPasses(*canvas, w, r, flags, s, hot);
    Pass(*canvas, w, r, flags, hot ? s.HotFontColor[0] : s.FontColor[0]);
    return 0;
}

int DrawControlText(tw::TCanvas* canvas, const char* text, bool enabled, TRect r, UINT flags, TsCommonData* data,
                    bool hot)
{
    if (!canvas || !data) return 0;
    tw::TControl* owner = data->OwnerControl();
    if (owner) canvas->Font().Assign(owner->Font());
    if (hot && data->SkinSection() == "WEBBUTTON") canvas->Font().SetStyle(canvas->Font().Style() | tw::fsUnderline);
    canvas->RequireState();
    const TClippedDC clip(canvas->Handle(), r);
    if (!text) return 0;
    TsSkinManager* sm = data->SkinManager();
    int si = data->SkinIndex;
    const bool fontFromParent = data->COC == COC_TsCheckBox || data->COC == COC_TsRadioButton ||
                                data->COC == COC_TsGroupBox || (owner && !owner->IsWindowed());
    if (fontFromParent && owner && owner->ParentFont() && owner->Parent() && sm && sm->SkinIndexValid(si)) {
        const TsGeneralData& s = sm->gd[size_t(si)];
        if ((hot ? s.HotTransparency : s.Transparency) > 0) si = GetFontIndex(owner, si, sm);
    }
    canvas->Brush().SetStyle(tw::bsClear);
    const std::wstring w = tw::Utf8ToWide(text);
    const bool valid = sm && sm->SkinIndexValid(si);
    if (enabled) {
        if (valid && !data->CustomFont()) {
            const TsGeneralData& s = sm->gd[size_t(si)];
            ContourPasses(*canvas, w, r, flags, s, hot);
            canvas->Font().SetColor(hot ? s.HotFontColor[0] : s.FontColor[0]);
        } else if (valid && owner) {
            canvas->Font().SetColor(owner->Font().Color());
        }
        Pass(*canvas, w, r, flags | DT_NOCLIP, canvas->Font().Color());
        return 0;
    }
    if (!valid) {
        Pass(*canvas, w, r, flags, canvas->Font().Color());
        return 0;
    }
    Pass(*canvas, w, r, flags, BlendColors(sm->gd[size_t(si)].FontColor[0], sm->GetGlobalColor(), 0.4));
    return 0;
}

std::string CutText(tw::TCanvas& canvas, const std::string& text, int maxWidth)
{
    std::string result = maxWidth >= 1 ? text : std::string();
    if (result.empty() || canvas.TextWidth(result) <= maxWidth) return result;
    while (!result.empty() && canvas.TextWidth(result + "...") > maxWidth) {
        // Whole UTF-8 characters go, never half of one.
        size_t cut = result.size() - 1;
        while (cut > 0 && (uint8_t(result[cut]) & 0xC0) == 0x80) --cut;
        result.erase(cut);
    }
    return result.empty() ? result : result + "...";
}

int DrawTextStr(HDC dc, const std::string& text, TRect& r, UINT flags)
{
    RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    const int h = SkinDrawText(dc, tw::Utf8ToWide(text), &rc, flags);
    r = {rc.left, rc.top, rc.right, rc.bottom};
    return h;
}

void DrawTextOnDC(tw::TCanvas& canvas, const char* text, TRect& r, UINT flags)
{
    if (!text) return;
    canvas.RequireState();
    DrawTextStr(canvas.Handle(), text, r, flags);
}

} // namespace skin

namespace skin {

int CanvasTextWidth(tw::TCanvas& canvas, const std::string& text) { return canvas.TextExtent(text).cx; }

int CanvasTextHeight(tw::TCanvas& canvas, const std::string& text) { return canvas.TextExtent(text).cy; }

SIZE CanvasTextExtent(tw::TCanvas& canvas, const std::string& text) { return canvas.TextExtent(text); }

void CanvasTextRect(tw::TCanvas& canvas, const TRect& r, int x, int y, const std::string& text)
{
    canvas.TextRect(r, x, y, text);
}

} // namespace skin
