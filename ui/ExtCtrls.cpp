#include "ui/ExtCtrls.h"

#include <algorithm>

#include "base/WinText.h"
#include "ui/Guards.h"

namespace tw {

// ---------------------------------------------------------------- TPanel

TPanel::TPanel(TComponent* owner) : TCustomControl(owner) {
    width_ = 185;
    height_ = 41;
}

void TPanel::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    p.Style |= WS_CLIPCHILDREN;
    p.ExStyle |= WS_EX_CONTROLPARENT;
    if (borderStyle_ == bsSingle) p.Style |= WS_BORDER;
}

TRect TPanel::AdjustedClientRect() const {
    TRect r = ClientRect();
    int b = borderWidth_;
    if (bevelOuter_ != bvNone) b += bevelWidth_;
    if (bevelInner_ != bvNone) b += bevelWidth_;
    r.Inflate(-b, -b);
    return r;
}

namespace {
void Frame3D(HDC dc, RECT& r, COLORREF topLeft, COLORREF bottomRight, int width) {
    for (int i = 0; i < width; ++i) {
        TGdiObject<HPEN> p1(CreatePen(PS_SOLID, 1, topLeft)), p2(CreatePen(PS_SOLID, 1, bottomRight));
        TSelection pen(dc, p1);
        MoveToEx(dc, r.left, r.bottom - 1, nullptr);
        LineTo(dc, r.left, r.top);
        LineTo(dc, r.right - 1, r.top);
        pen.Select(p2);
        LineTo(dc, r.right - 1, r.bottom - 1);
        LineTo(dc, r.left - 1, r.bottom - 1);
        InflateRect(&r, -1, -1);
    }
}
} // namespace

void TPanel::Paint() {
    TCanvas& c = Canvas();
    TRect cr = ClientRect();
    c.Brush().SetColor(color_);
    c.FillRect(cr);
    RECT r = cr.ToRECT();
    COLORREF hi = GetSysColor(COLOR_BTNHIGHLIGHT), sh = GetSysColor(COLOR_BTNSHADOW);
    HDC dc = c.Handle();
    if (bevelOuter_ == bvRaised) Frame3D(dc, r, hi, sh, bevelWidth_);
    if (bevelOuter_ == bvLowered) Frame3D(dc, r, sh, hi, bevelWidth_);
    InflateRect(&r, -borderWidth_, -borderWidth_);
    if (bevelInner_ == bvRaised) Frame3D(dc, r, hi, sh, bevelWidth_);
    if (bevelInner_ == bvLowered) Frame3D(dc, r, sh, hi, bevelWidth_);
    if (showCaption_ && !text_.empty()) {
        c.Brush().SetStyle(bsClear);
        TRect tr(r);
        UINT f = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
        f |= alignment_ == taCenter ? DT_CENTER : alignment_ == taRightJustify ? DT_RIGHT : DT_LEFT;
        if (!enabled_) c.Font().SetColor(clGrayText);
        c.DrawText(text_, tr, f);
    }
}

// ---------------------------------------------------------------- TBevel

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) {
    width_ = 50;
    height_ = 50;
}

void TBevel::Paint() {
    HDC dc = Canvas().Handle();
    RECT r{0, 0, width_, height_};
    UINT edge = style_ == bsLowered ? EDGE_SUNKEN : EDGE_RAISED;
    UINT etched = style_ == bsLowered ? EDGE_ETCHED : EDGE_BUMP;
    switch (shape_) {
    case bsBox: DrawEdge(dc, &r, edge, BF_RECT); break;
    case bsFrame: DrawEdge(dc, &r, etched, BF_RECT); break;
    case bsTopLine: DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP); break;
    case bsBottomLine: DrawEdge(dc, &r, EDGE_ETCHED, BF_BOTTOM); break;
    case bsLeftLine: DrawEdge(dc, &r, EDGE_ETCHED, BF_LEFT); break;
    case bsRightLine: DrawEdge(dc, &r, EDGE_ETCHED, BF_RIGHT); break;
    default: break;
    }
}

// ---------------------------------------------------------------- TImage

TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
    width_ = 105;
    height_ = 105;
    picture_->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() { picture_->OnChange = nullptr; }

void TImage::PictureChanged() {
    if (TGraphic* g = picture_->Graphic()) {
        if (g->Transparent() != transparent_ && !dynamic_cast<TIcon*>(g)) g->SetTransparent(transparent_);
        if (autoSize_ && g->Width() > 0 && g->Height() > 0) SetBounds(left_, top_, g->Width(), g->Height());
    }
    Invalidate();
}

void TImage::SetTransparent(bool t) {
    transparent_ = t;
    PictureChanged();
}

void TImage::SetAutoSize(bool a) {
    autoSize_ = a;
    PictureChanged();
}

TRect TImage::DestRect() const {
    int w = picture_->Width(), h = picture_->Height();
    int cw = width_, ch = height_;
    if (w <= 0 || h <= 0) return TRect(0, 0, 0, 0);
    if (stretch_ || (proportional_ && (w > cw || h > ch))) {
        if (proportional_) {
            double s = std::min(static_cast<double>(cw) / w, static_cast<double>(ch) / h);
            w = static_cast<int>(w * s);
            h = static_cast<int>(h * s);
        } else {
            w = cw;
            h = ch;
        }
    }
    TRect r(0, 0, w, h);
    if (center_) r.Offset((cw - w) / 2, (ch - h) / 2);
    return r;
}

void TImage::Paint() {
    TGraphic* g = picture_->Graphic();
    if (!g || g->Empty()) return;
    TRect r = DestRect();
    Canvas().StretchDraw(r, g);
}

// ---------------------------------------------------------------- TPaintBox

TPaintBox::TPaintBox(TComponent* owner) : TGraphicControl(owner) {
    width_ = 105;
    height_ = 105;
}

void TPaintBox::Paint() {
    if (OnPaint) OnPaint(this);
}

// ---------------------------------------------------------------- TRadioGroup

TRadioGroup::TRadioGroup(TComponent* owner) : TGroupBox(owner), items_(std::make_unique<TStringsList>()) {
    items_->OnChange = [this] { UpdateButtons(); };
}

TRadioGroup::~TRadioGroup() {
    items_->OnChange = nullptr;
    // The buttons are children and go with the group box.
}

void TRadioGroup::UpdateButtons() {
    updating_ = true;
    while (static_cast<int>(buttons_.size()) > items_->Count()) {
        delete buttons_.back();
        buttons_.pop_back();
    }
    while (static_cast<int>(buttons_.size()) < items_->Count()) {
        TRadioButton* b = NewButton();
        int index = static_cast<int>(buttons_.size());
        b->OnClick = [this, index](TObject*) {
            if (updating_) return;
            if (itemIndex_ != index) {
                itemIndex_ = index;
                Click();
            }
        };
        b->SetParent(this);
        buttons_.push_back(b);
    }
    for (int i = 0; i < items_->Count(); ++i) {
        buttons_[static_cast<size_t>(i)]->SetCaption(items_->Get(i));
        buttons_[static_cast<size_t>(i)]->SetChecked(i == itemIndex_);
    }
    if (itemIndex_ >= items_->Count()) itemIndex_ = -1;
    updating_ = false;
    ArrangeButtons();
}

void TRadioGroup::ArrangeButtons() {
    if (buttons_.empty()) return;
    TRect r = AdjustedClientRect();
    r.Inflate(-6, -2);
    int cols = std::max(1, columns_);
    int rows = (static_cast<int>(buttons_.size()) + cols - 1) / cols;
    int colW = r.Width() / cols;
    int rowH = std::max(1, r.Height() / std::max(1, rows));
    for (size_t i = 0; i < buttons_.size(); ++i) {
        int col = static_cast<int>(i) / rows, row = static_cast<int>(i) % rows;
        int h = std::min(rowH, 20);
        buttons_[i]->SetBounds(r.Left + col * colW, r.Top + row * rowH + (rowH - h) / 2, colW, h);
    }
}

void TRadioGroup::SetItemIndex(int i) {
    if (i < -1 || i >= items_->Count()) i = -1;
    if (i == itemIndex_) return;
    itemIndex_ = i;
    updating_ = true;
    for (size_t k = 0; k < buttons_.size(); ++k) buttons_[k]->SetChecked(static_cast<int>(k) == i);
    updating_ = false;
    if (!IsLoading()) Click();
}

void TRadioGroup::Loaded() {
    TGroupBox::Loaded();
    ArrangeButtons();
}

void TRadioGroup::Resize() {
    ArrangeButtons();
    TGroupBox::Resize();
}

void TRadioGroup::FontChanged() {
    TGroupBox::FontChanged();
    ArrangeButtons();
}

} // namespace tw
