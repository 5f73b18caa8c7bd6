// Buttons with a picture: the glyph button (a push button with a bitmap and
// a kind that sets caption and modal result) and the speed button (a flat
// graphic button that can stay down in a group).
#pragma once

#include <memory>

#include "ui/Controls.h"
#include "ui/StdCtrls.h"

namespace tw {

enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// Draws a glyph (transparent colour taken from its bottom-left pixel) and a
// caption into r; shared by the glyph and speed buttons.
void DrawButtonGlyphAndText(TCanvas& canvas, const TRect& r, TBitmap* glyph, int numGlyphs, int glyphIndex,
                            const std::string& caption, TButtonLayout layout, int spacing, bool enabled);

class TBitBtn : public TButton {
public:
    explicit TBitBtn(TComponent* owner);
    ~TBitBtn() override;
    TBitmap& Glyph() { return *glyph_; }
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int n) { numGlyphs_ = n < 1 ? 1 : n; Invalidate(); }
    TBitBtnKind Kind() const { return kind_; }
    // Sets caption (standard text) and modal result of the kind.
    void SetKind(TBitBtnKind k);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout l) { layout_ = l; Invalidate(); }
    int Spacing() const { return spacing_; }
    void SetSpacing(int s) { spacing_ = s; Invalidate(); }
    void WndProc(TMessage& m) override;

protected:
    void CreateParams(TCreateParams& p) override;
    void DrawButton(const DRAWITEMSTRUCT& di);
    std::unique_ptr<TBitmap> glyph_;
    int numGlyphs_ = 1;
    TBitBtnKind kind_ = bkCustom;
    TButtonLayout layout_ = blGlyphLeft;
    int spacing_ = 4;
};

class TSpeedButton : public TGraphicControl {
public:
    explicit TSpeedButton(TComponent* owner);
    ~TSpeedButton() override;
    TBitmap& Glyph() { return *glyph_; }
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int n) { numGlyphs_ = n < 1 ? 1 : n; Invalidate(); }
    // Buttons with the same non-zero GroupIndex under one parent act as
    // radio buttons; Down stays.
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int g) { groupIndex_ = g; }
    bool Down() const { return down_; }
    void SetDown(bool d);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool a) { allowAllUp_ = a; }
    bool Flat() const { return flat_; }
    void SetFlat(bool f) { flat_ = f; Invalidate(); }
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout l) { layout_ = l; Invalidate(); }
    void Click() override;

protected:
    void Paint() override;
    void MouseDown(TMouseButton b, TShiftState s, int x, int y) override;
    void MouseUp(TMouseButton b, TShiftState s, int x, int y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void TextChanged() override { Invalidate(); }
    std::unique_ptr<TBitmap> glyph_;
    int numGlyphs_ = 1;
    int groupIndex_ = 0;
    bool down_ = false;
    bool allowAllUp_ = false;
    bool flat_ = false;
    bool pressed_ = false;
    TButtonLayout layout_ = blGlyphLeft;
};

} // namespace tw
