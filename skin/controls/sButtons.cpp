#include "skin/controls/sButtons.h"

#include <algorithm>
#include <type_traits>

#include "skin/controls/sButton.h"
#include "skin/controls/sControlCache.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/painting/GraphicsUtils.h"

namespace skin {

namespace {

// The glyph drawing's view of one of our buttons.
template <class Button> class TButtonGlyphLink final : public TsGlyphButton {
public:
    explicit TButtonGlyphLink(Button& button) : b_(button) {}
    tw::TCustomImageList* Images() const override { return b_.GlyphProps.Images; }
    int ImageIndex() const override { return b_.GlyphProps.ImageIndex; }
    tw::TBitmap* Glyph() override { return &b_.Glyph(); }
    int NumGlyphs() const override { return b_.NumGlyphs(); }
    int Blend() const override { return b_.GlyphProps.Blend; }
    bool Grayed() const override { return b_.GlyphProps.Grayed; }
    bool Reflected() const override { return b_.GlyphProps.Reflected; }
    unsigned DisabledGlyphKind() const override { return b_.GlyphProps.DisabledGlyphKind; }
    bool Down() const override
    {
        if constexpr (std::is_base_of_v<tw::TSpeedButton, Button>) return b_.Down();
        else return b_.CurrentState() == 2;
    }
    bool GlyphEnabled() const override { return b_.Enabled(); }
    bool Skinned() const override { return b_.SkinData.Skinned(); }
    bool GlyphFocused() const override
    {
        if constexpr (std::is_base_of_v<tw::TWinControl, Button>) return b_.Focused();
        else return false;
    }
    tw::TBitmap* CacheBitmap() override { return b_.SkinData.CacheBmp(); }
    TRect GlyphRect() override { return b_.GlyphRect(); }
    int CurrentState() override { return b_.CurrentState(); }
    int ButtonWidth() const override { return b_.Width(); }
    int ButtonHeight() const override { return b_.Height(); }

private:
    Button& b_;
};

// Everything of a button's face besides the state.
template <class Button> std::string ButtonLook(Button& b)
{
    const tw::TBitmap& g = b.Glyph();
    return b.Caption() + '\n' + std::to_string(b.Enabled()) + ',' + std::to_string(b.Font().Color()) + ',' +
           std::to_string(reinterpret_cast<uintptr_t>(g.Handle())) + ',' + std::to_string(g.Width()) + ',' +
           std::to_string(b.NumGlyphs()) + ',' + std::to_string(int(b.Layout())) + ',' +
           std::to_string(reinterpret_cast<uintptr_t>(b.GlyphProps.Images)) + ',' + std::to_string(b.GlyphProps.ImageIndex);
}

SIZE GlyphSize(tw::TBitmap& glyph, int numGlyphs, const TsButtonGlyphProps& props)
{
    if (!glyph.Empty()) return SIZE{glyph.Width() / std::max(1, numGlyphs), glyph.Height()};
    if (props.Images && props.ImageIndex >= 0 && props.ImageIndex < GetImageCount(props.Images))
        return SIZE{props.Images->Width(), props.Images->Height()};
    return SIZE{0, 0};
}

// Glyph and caption over the freshly painted cache; the glyph rectangle is
// kept for the glyph drawing's question.
template <class Button>
void DrawButtonContent(Button& b, TsGlyphButton& link, int state, int spacing, TRect& glyphRect)
{
    tw::TCanvas& c = b.SkinData.CacheBmp()->Canvas();
    c.Font().Assign(b.Font());
    const std::string caption = b.Caption();
    const TPoint extent = caption.empty() ? TPoint{0, 0} : GetTextSize(b.Font().Handle(), caption);
    const SIZE text{extent.X, extent.Y};
    const SIZE glyph = GlyphSize(b.Glyph(), b.NumGlyphs(), b.GlyphProps);
    TRect textRect;
    LayoutButtonContent(TRect(0, 0, b.Width(), b.Height()), glyph, text, b.Layout(), spacing, glyphRect, textRect,
                        b.GlyphProps.Margin, b.GlyphProps.Alignment);
    if (state == 2) {
        glyphRect.Offset(1, 1);
        textRect.Offset(1, 1);
    }
    if (glyph.cx > 0) DrawBtnGlyph(&link, nullptr);
    if (!caption.empty())
        DrawControlText(&c, caption.c_str(), b.Enabled(), textRect, DT_SINGLELINE | DT_CENTER | DT_VCENTER,
                        &b.SkinData, state > 0);
    PaintDisabledCache(b.SkinData, b.DisabledKind());
}

// Hover fades where the skin asks for them; a plain repaint otherwise.
void FadeHover(TsFadeTimer*& fade, TsCommonData& data, TacAnimatEvents events, bool entering)
{
    const TacAnimatEvent event = entering ? aeMouseEnter : aeMouseLeave;
    StartFadeEffect(fade, &data, false, entering ? 1 : 2, AnimEventAllowed(event, events, data.SkinManager()));
}

} // namespace

void LayoutButtonContent(const TRect& r, SIZE glyph, SIZE text, tw::TButtonLayout layout, int spacing, TRect& glyphRect,
                         TRect& textRect, int margin, int alignment)
{
    TPoint at;
    CalcButtonLayout(r, TPoint{int(glyph.cx), int(glyph.cy)}, TPoint{int(text.cx), int(text.cy)}, int(layout), alignment,
                     margin, spacing, at, textRect, 0);
    glyphRect = TRect(at.X, at.Y, at.X + glyph.cx, at.Y + glyph.cy);
}

// ---------------------------------------------------------------- TsBitBtn

TsBitBtn::TsBitBtn(tw::TComponent* owner) : TsSkinnedButton(owner, COC_TsBitBtn)
{
    link_ = std::make_unique<TButtonGlyphLink<TsBitBtn>>(*this);
}

int TsBitBtn::CurrentState() const
{
    if (pressed_) return 2;
    return MouseInControl() ? 1 : 0;
}

void TsBitBtn::PaintFace()
{
    const int state = CurrentState();
    NoteCacheLook(SkinData, ButtonLook(*this) + std::to_string(Spacing()), paintedLook_);
    if (UpdateButtonCache(SkinData, state, paintedState_)) DrawButtonContent(*this, *link_, state, Spacing(), glyphRect_);
}

void TsBitBtn::WndProc(tw::TMessage& m)
{
    // SetDefault asks the system for a (default) push button style, which
    // would end our drawing.
    if (m.Msg == BM_SETSTYLE) m.WParam = (m.WParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
    TsSkinnedButton::WndProc(m);
}

void TsBitBtn::DrawSkinned(const DRAWITEMSTRUCT& di)
{
    DrawOwnerButtonFace(di, SkinData, AnimatEvents, fade_, paintedState_, pressed_, [this] { PaintFace(); });
}

bool TsBitBtn::SkinnedMessage(tw::TMessage& m)
{
    if (m.Msg == SM_ALPHACMD && SkinCommandOf(m.WParam) == AC_FADESTART) {
        PaintFace();   // the new state, for the fade to blend towards
        m.Result = 0;
        return true;
    }
    if (!SkinData.Skinned()) return false;
    if (m.Msg == tw::CN_DRAWITEM) {
        DrawSkinned(*reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam));
        m.Result = 1;
        return true;
    }
    if (m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONDBLCLK || m.Msg == WM_LBUTTONUP || m.Msg == WM_CAPTURECHANGED) {
        // No halo while the button is held down.
        tw::TBitBtn::WndProc(m);
        SkinData.UpdateControlGlow(false);
        return true;
    }
    if (m.Msg == tw::CM_MOUSEENTER || m.Msg == tw::CM_MOUSELEAVE) {
        // The system button repaints for its pushed state only; hot comes from us.
        tw::TBitBtn::WndProc(m);
        FadeHover(fade_, SkinData, AnimatEvents, m.Msg == tw::CM_MOUSEENTER);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- TsSpeedButton

TsSpeedButton::TsSpeedButton(tw::TComponent* owner) : TsSkinnedButton(owner, COC_TsSpeedButton)
{
    link_ = std::make_unique<TButtonGlyphLink<TsSpeedButton>>(*this);
}

int TsSpeedButton::CurrentState() const
{
    if (down_ || (pressed_ && mouseIn_)) return 2;
    return mouseIn_ ? 1 : 0;
}

bool TsSpeedButton::SkinnedMessage(tw::TMessage& m)
{
    if (m.Msg != SM_ALPHACMD) return false;
    switch (SkinCommandOf(m.WParam)) {
    case AC_RESETCACHE:
        // A new frame of the blend: shown at once.
        if (anim_ && anim_->Enabled()) {
            Repaint();
            m.Result = 0;
            return true;
        }
        return false;
    case AC_STOPANIMATION:
        // The blend is over: the goal picture stands alone. The common
        // handling goes on.
        StopAnimation();
        Repaint();
        return false;
    default:
        return false;
    }
}

void TsSpeedButton::StopAnimation()
{
    if (!anim_) return;
    anim_->SetEnabled(false);
    anim_->Frame.reset();
    anim_->Saved.reset();
}

void TsSpeedButton::Animate(TacAnimatEvent event)
{
    TsSkinManager* m = SkinData.SkinManager();
    const TsGeneralData* s = m && m->SkinIndexValid(SkinData.SkinIndex) ? &m->gd[size_t(SkinData.SkinIndex)] : nullptr;
    tw::TBitmap* cache = SkinData.CacheBmp();
    const bool blend = s && s->FadingEnabled && s->FadingIterations > 0 && !SkinLoading &&
                       AnimEventAllowed(event, AnimatEvents, m) && cache && !cache->Empty() &&
                       !SkinData.BGChangedFlag && Parent() && Parent()->HandleAllocated() && Visible();
    if (!blend) {
        StopAnimation();
        SkinData.BGChangedFlag = true;
        Repaint();
        SkinData.UpdateControlGlow(false);
        return;
    }
    if (!anim_) anim_ = new TsAnimTimer(this);
    const bool running = anim_->Enabled() && anim_->Frame;
    anim_->SetEnabled(false);
    // From what is on screen now: a frame of a blend still running, else the
    // last painted look.
    auto saved = std::make_unique<tw::TBitmap>();
    saved->Assign(running ? *anim_->Frame : *cache);
    anim_->Saved = std::move(saved);
    anim_->Frame.reset();
    SkinData.BGChangedFlag = true;
    PaintFace();   // the goal of the blend
    anim_->Start(&SkinData);
    anim_->Steps.CurrentStep = 1;
    anim_->SetEnabled(true);
    SkinData.UpdateControlGlow(false);
}

void TsSpeedButton::MouseEnter()
{
    tw::TSpeedButton::MouseEnter();
    if (SkinData.Skinned()) Animate(aeMouseEnter);
}

void TsSpeedButton::MouseLeave()
{
    tw::TSpeedButton::MouseLeave();
    if (SkinData.Skinned()) Animate(aeMouseLeave);
}

void TsSpeedButton::MouseDown(tw::TMouseButton b, tw::TShiftState s, int x, int y)
{
    const int before = CurrentState();
    tw::TSpeedButton::MouseDown(b, s, x, y);
    if (SkinData.Skinned() && CurrentState() == 2 && before != 2) Animate(aeMouseDown);
}

void TsSpeedButton::MouseUp(tw::TMouseButton b, tw::TShiftState s, int x, int y)
{
    const int before = CurrentState();
    tw::TSpeedButton::MouseUp(b, s, x, y);
    if (SkinData.Skinned() && before == 2 && CurrentState() != 2) Animate(aeMouseUp);
}

void TsSpeedButton::PaintFace()
{
    const int state = CurrentState();
    NoteCacheLook(SkinData, ButtonLook(*this), paintedLook_);
    if (UpdateControlCache(SkinData, state, paintedState_)) DrawButtonContent(*this, *link_, state, 4, glyphRect_);
}

void TsSpeedButton::Paint()
{
    if (!SkinData.Skinned()) {
        tw::TSpeedButton::Paint();
        return;
    }
    PaintFace();
    if (anim_ && anim_->Enabled() && anim_->Frame && anim_->Frame->Width() == Width() && anim_->Frame->Height() == Height()) {
        BitBlt(Canvas().Handle(), 0, 0, Width(), Height(), anim_->Frame->Canvas().Handle(), 0, 0, SRCCOPY);
        return;
    }
    DrawControlCache(SkinData, Canvas().Handle(), 0, 0);
}

} // namespace skin
