#pragma once
// Windows only. Captions in a skin section's colours: the main colour of
// the state, up to four one-pixel contour passes, a mixed colour when
// disabled, and the underline of hot web buttons.
#include <windows.h>

#include <string>

#include "skin/engine/common/SkinUtils.h"
#include "ui/Graphics.h"

namespace skin {

class TsSkinManager;
class TsCommonData;

// The one place text reaches the device context; tests count the passes.
extern int (*SkinDrawText)(HDC dc, const std::wstring& text, RECT* r, UINT flags);

// Both return 0. Nothing is drawn without a canvas, for a section the
// manager does not have, or for a null text. An empty rectangle is drawn
// into like any other: with DT_NOCLIP the section's text starts at its
// corner, and the canvas is left set up for the text (clear brush, the
// control's font) either way.
int DrawSectionText(tw::TCanvas* canvas, const char* text, bool enabled, TRect r, UINT flags, int skinIndex, bool hot,
                    TsSkinManager* manager = nullptr);
int DrawControlText(tw::TCanvas* canvas, const char* text, bool enabled, TRect r, UINT flags, TsCommonData* data,
                    bool hot);
inline int WriteSectionText(tw::TCanvas* canvas, const char* text, bool enabled, TRect r, UINT flags, int skinIndex,
                            bool hot, TsSkinManager* manager = nullptr)
{
    return DrawSectionText(canvas, text, enabled, r, flags, skinIndex, hot, manager);
}
inline int WriteControlText(tw::TCanvas* canvas, const char* text, bool enabled, TRect r, UINT flags, TsCommonData* data,
                            bool hot)
{
    return DrawControlText(canvas, text, enabled, r, flags, data, hot);
}

// The text cut with "..." to fit maxWidth on the canvas; empty when not
// even one character with the dots fits.
std::string CutText(tw::TCanvas& canvas, const std::string& text, int maxWidth);
int DrawTextStr(HDC dc, const std::string& text, TRect& r, UINT flags);
void DrawTextOnDC(tw::TCanvas& canvas, const char* text, TRect& r, UINT flags);
// The canvas's own measures of a text in its current font, and its text
// clipped to a rectangle.
int CanvasTextWidth(tw::TCanvas& canvas, const std::string& text);
int CanvasTextHeight(tw::TCanvas& canvas, const std::string& text);
SIZE CanvasTextExtent(tw::TCanvas& canvas, const std::string& text);
void CanvasTextRect(tw::TCanvas& canvas, const TRect& r, int x, int y, const std::string& text);

} // namespace skin
