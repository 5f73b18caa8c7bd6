#include "ui/Buttons.h"

#include "ui/Consts.h"
#include "ui/Forms.h"

namespace tw {

void DrawButtonGlyphAndText(TCanvas& c, const TRect& r, TBitmap* glyph, int numGlyphs, int glyphIndex,
                            const std::string& caption, TButtonLayout layout, int spacing, bool enabled) {
    int gw = 0, gh = 0;
    if (glyph && !glyph->Empty()) {
        gw = glyph->Width() / (numGlyphs < 1 ? 1 : numGlyphs);
        gh = glyph->Height();
    }
    TRect calc(0, 0, r.Width(), 0);
    if (!caption.empty()) c.DrawText(caption, calc, DT_CALCRECT | DT_SINGLELINE);
    int tw = calc.Width(), th = calc.Height();
    bool horiz = layout == blGlyphLeft || layout == blGlyphRight;
    int sp = (gw > 0 && tw > 0) ? spacing : 0;
    int totalW = horiz ? gw + sp + tw : std::max(gw, tw);
    int totalH = horiz ? std::max(gh, th) : gh + sp + th;
    int x = r.Left + (r.Width() - totalW) / 2, y = r.Top + (r.Height() - totalH) / 2;
    int gx = x, gy = y, tx = x, ty = y;
    switch (layout) {
    case blGlyphLeft: gy = y + (totalH - gh) / 2; tx = x + gw + sp; ty = y + (totalH - th) / 2; break;
    case blGlyphRight: tx = x; ty = y + (totalH - th) / 2; gx = x + tw + sp; gy = y + (totalH - gh) / 2; break;
    case blGlyphTop: gx = x + (totalW - gw) / 2; tx = x + (totalW - tw) / 2; ty = y + gh + sp; break;
    case blGlyphBottom: tx = x + (totalW - tw) / 2; gx = x + (totalW - gw) / 2; gy = y + th + sp; break;
    }
    if (gw > 0) {
        int idx = (glyphIndex < numGlyphs) ? glyphIndex : 0;
        COLORREF tc = ColorToRGB(glyph->TransparentColor());
        TransparentBlt(c.Handle(), gx, gy, gw, gh, glyph->Canvas().Handle(), idx * gw, 0, gw, gh, tc);
    }
    if (!caption.empty()) {
        c.Brush().SetStyle(bsClear);
        TRect tr(tx, ty, tx + tw, ty + th);
        if (!enabled) c.Font().SetColor(clGrayText);
        c.DrawText(caption, tr, DT_SINGLELINE);
    }
}

// ---------------------------------------------------------------- TBitBtn

TBitBtn::TBitBtn(TComponent* owner) : TButton(owner), glyph_(std::make_unique<TBitmap>()) {
    glyph_->OnChange = [this](TObject*) { Invalidate(); };
}

TBitBtn::~TBitBtn() { glyph_->OnChange = nullptr; }

void TBitBtn::CreateParams(TCreateParams& p) {
    TButton::CreateParams(p);
    p.Style = (p.Style & ~static_cast<DWORD>(BS_DEFPUSHBUTTON | BS_PUSHBUTTON)) | BS_OWNERDRAW;
}

void TBitBtn::SetKind(TBitBtnKind k) {
    kind_ = k;
    struct K { TStdText t; TModalResult r; bool def, cancel; };
    K map[] = {{stOK, mrNone, false, false}, {stOK, mrOk, true, false}, {stCancel, mrCancel, false, true},
               {stHelp, mrNone, false, false}, {stYes, mrYes, true, false}, {stNo, mrNo, false, true},
               {stClose, mrNone, false, false}, {stAbort, mrAbort, false, true}, {stRetry, mrRetry, false, false},
               {stIgnore, mrIgnore, false, false}, {stAll, mrAll, false, false}};
    if (k == bkCustom) return;
    const K& e = map[k];
    SetCaption(StdText(e.t));
    SetModalResult(e.r);
    if (e.def) SetDefault(true);
    if (e.cancel) SetCancel(true);
}

void TBitBtn::DrawButton(const DRAWITEMSTRUCT& di) {
    HDC dc = di.hDC;
    RECT r = di.rcItem;
    bool pressed = di.itemState & ODS_SELECTED;
    bool focused = di.itemState & ODS_FOCUS;
    bool disabled = di.itemState & ODS_DISABLED;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (default_ || focused) {
        FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        InflateRect(&r, -1, -1);
    }
    DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    TCanvas c;
    c.SetHandle(dc);
    c.Font().Assign(*font_);
    TRect tr(r);
    if (pressed) tr.Offset(1, 1);
    DrawButtonGlyphAndText(c, tr, glyph_.get(), numGlyphs_, disabled && numGlyphs_ > 1 ? 1 : 0, Text(), layout_,
                           spacing_, !disabled);
    c.SetHandle(nullptr);
    if (focused) {
        RECT f = r;
        InflateRect(&f, -3, -3);
        DrawFocusRect(dc, &f);
    }
}

void TBitBtn::WndProc(TMessage& m) {
    if (m.Msg == CN_DRAWITEM) {
        DrawButton(*reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam));
        m.Result = 1;
        return;
    }
    if (m.Msg == WM_ERASEBKGND) {
        m.Result = 1;
        return;
    }
    TButton::WndProc(m);
}

// ---------------------------------------------------------------- TSpeedButton

TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner), glyph_(std::make_unique<TBitmap>()) {
    width_ = 23;
    height_ = 22;
    glyph_->OnChange = [this](TObject*) { Invalidate(); };
}

TSpeedButton::~TSpeedButton() { glyph_->OnChange = nullptr; }

void TSpeedButton::SetDown(bool d) {
    if (groupIndex_ == 0) d = false;
    if (d == down_) return;
    if (!d && !allowAllUp_) {
        // The last button down in a group stays down.
        bool other = false;
        if (parent_)
            for (int i = 0; i < parent_->ControlCount(); ++i)
                if (auto* s = dynamic_cast<TSpeedButton*>(parent_->Controls(i)))
                    if (s != this && s->groupIndex_ == groupIndex_ && s->down_) other = true;
        if (!other) return;
    }
    down_ = d;
    if (d && parent_) {
        for (int i = 0; i < parent_->ControlCount(); ++i)
            if (auto* s = dynamic_cast<TSpeedButton*>(parent_->Controls(i)))
                if (s != this && s->groupIndex_ == groupIndex_ && s->down_) {
                    s->down_ = false;
                    s->Invalidate();
                }
    }
    Invalidate();
}

void TSpeedButton::Click() {
    if (groupIndex_ != 0) {
        if (!down_)
            SetDown(true);
        else if (allowAllUp_)
            SetDown(false);
    }
    TGraphicControl::Click();
}

void TSpeedButton::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
    if (b == mbLeft && enabled_) {
        pressed_ = true;
        Invalidate();
    }
    TGraphicControl::MouseDown(b, s, x, y);
}

void TSpeedButton::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
    if (pressed_) {
        pressed_ = false;
        Invalidate();
    }
    TGraphicControl::MouseUp(b, s, x, y);
}

void TSpeedButton::MouseEnter() {
    if (flat_) Invalidate();
    TGraphicControl::MouseEnter();
}

void TSpeedButton::MouseLeave() {
    if (flat_) Invalidate();
    TGraphicControl::MouseLeave();
}

void TSpeedButton::Paint() {
    TCanvas& c = Canvas();
    HDC dc = c.Handle();
    RECT r{0, 0, width_, height_};
    bool sunken = pressed_ || down_;
    if (down_ && !pressed_) {
        c.Brush().SetColor(cl3DLight);
        c.FillRect(TRect(r));
    } else if (!flat_ || mouseIn_ || sunken) {
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (!flat_ || mouseIn_ || sunken) DrawEdge(dc, &r, sunken ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    TRect tr(r);
    if (sunken) tr.Offset(1, 1);
    c.Font().Assign(*font_);
    DrawButtonGlyphAndText(c, tr, glyph_.get(), numGlyphs_, !enabled_ && numGlyphs_ > 1 ? 1 : 0, text_, layout_, 4,
                           enabled_);
}

} // namespace tw
