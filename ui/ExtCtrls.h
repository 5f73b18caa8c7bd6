// Panels, bevels, images, paint boxes, radio groups and timers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Classes.h"
#include "ui/Controls.h"
#include "ui/StdCtrls.h"

namespace tw {

// A container with an optional 3-D bevel and a centred caption.
class TPanel : public TCustomControl {
public:
    explicit TPanel(TComponent* owner);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut b) { bevelOuter_ = b; Realign(); Invalidate(); }
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut b) { bevelInner_ = b; Realign(); Invalidate(); }
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int w) { bevelWidth_ = w; Realign(); Invalidate(); }
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int w) { borderWidth_ = w; Realign(); Invalidate(); }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle b) { borderStyle_ = b; if (HandleAllocated()) RecreateWnd(); }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a) { alignment_ = a; Invalidate(); }
    bool ShowCaption() const { return showCaption_; }
    void SetShowCaption(bool s) { showCaption_ = s; Invalidate(); }

protected:
    void CreateParams(TCreateParams& p) override;
    void Paint() override;
    void TextChanged() override { Invalidate(); }
    TRect AdjustedClientRect() const override;
    TBevelCut bevelOuter_ = bvRaised;
    TBevelCut bevelInner_ = bvNone;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
    TBorderStyle borderStyle_ = bsNone;
    TAlignment alignment_ = taCenter;
    bool showCaption_ = true;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
public:
    explicit TBevel(TComponent* owner);
    TBevelShape Shape() const { return shape_; }
    void SetShape(TBevelShape s) { shape_ = s; Invalidate(); }
    TBevelStyle Style() const { return style_; }
    void SetStyle(TBevelStyle s) { style_ = s; Invalidate(); }

protected:
    void Paint() override;
    TBevelShape shape_ = bsBox;
    TBevelStyle style_ = bsLowered;
};

// Shows a picture: at its natural size, centred, or stretched (optionally
// keeping its proportions).
class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* owner);
    ~TImage() override;
    TPicture& Picture() { return *picture_; }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool s) { stretch_ = s; Invalidate(); }
    bool Center() const { return center_; }
    void SetCenter(bool c) { center_ = c; Invalidate(); }
    bool Proportional() const { return proportional_; }
    void SetProportional(bool p) { proportional_ = p; Invalidate(); }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool t);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool a);
    // Where the picture is drawn inside the control.
    TRect DestRect() const;

protected:
    void Paint() override;
    void PictureChanged();
    std::unique_ptr<TPicture> picture_;
    bool stretch_ = false, center_ = false, proportional_ = false, transparent_ = false, autoSize_ = false;
};

// A blank area that its OnPaint draws.
class TPaintBox : public TGraphicControl {
public:
    explicit TPaintBox(TComponent* owner);
    TNotifyEvent OnPaint;

protected:
    void Paint() override;
};

// A group box of radio buttons made from Items; ItemIndex is the checked one.
class TRadioGroup : public TGroupBox {
public:
    explicit TRadioGroup(TComponent* owner);
    ~TRadioGroup() override;
    TStrings& Items() { return *items_; }
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int i);
    int Columns() const { return columns_; }
    void SetColumns(int c) { columns_ = c < 1 ? 1 : c; ArrangeButtons(); }
    TRadioButton* Buttons(int i) const { return buttons_.at(static_cast<size_t>(i)); }
    void Loaded() override;

protected:
    // The button made for each item; skinned groups make skinned ones.
    virtual TRadioButton* NewButton() { return new TRadioButton(nullptr); }
    void Resize() override;
    void UpdateButtons();
    void ArrangeButtons();
    void FontChanged() override;
    std::unique_ptr<TStringsList> items_;
    std::vector<TRadioButton*> buttons_;
    int itemIndex_ = -1;
    int columns_ = 1;
    bool updating_ = false;
};

// A timer ticking on the UI thread through WM_TIMER of the application's
// hidden window.
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool e);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned ms);
    TNotifyEvent OnTimer;
    void Loaded() override;

private:
    friend class TApplication;
    void Apply();
    void Fire();
    bool enabled_ = true;
    unsigned interval_ = 1000;
    UINT_PTR id_ = 0;
};

} // namespace tw
