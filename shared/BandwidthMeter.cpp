#include "shared/BandwidthMeter.h"

#include "base/SysUtils.h"
#include "skin/engine/common/SkinMessages.h"
#include "ui/ExtCtrls.h"

namespace tw {

namespace {
// Ten pictures a second are all the eye follows.
constexpr unsigned kRepaintEveryMs = 100;
} // namespace

TOvBandwidthMeter::TOvBandwidthMeter(TComponent* owner)
    : TGraphicControl(owner), buffer_(std::make_unique<TBitmap>()), background_(std::make_unique<TPicture>()) {
    static const TColor kColors[kBandwidthLines] = {clBlack, clRed,   clGreen, clBlue,  clLime,  clYellow,
                                                    clGray,  clBlack, clBlack, clBlack, clBlack, clBlack,
                                                    clBlack, clBlack, clBlack, clBlack};
    for (int i = 0; i < kBandwidthLines; ++i) {
        lines_[i] = std::make_unique<TOvLine>(this);
        lines_[i]->SetColor(kColors[i]);
    }
    SetColor(clWhite);
    buffer_->SetPixelFormat(pf24bit);
    background_->OnChange = [this](TObject*) {
        Redraw();
        Invalidate();
    };
    SetBounds(0, 0, 100, 50);
    repaintTimer_ = std::make_unique<TTimer>(nullptr);
    repaintTimer_->SetEnabled(false);
    repaintTimer_->SetInterval(kRepaintEveryMs);
    repaintTimer_->OnTimer = [this](TObject*) {
        repaintTimer_->SetEnabled(false);
        lastInvalidateMs_ = GetTickCount64Ms();
        Invalidate();
    };
}

TOvBandwidthMeter::~TOvBandwidthMeter() { background_->OnChange = nullptr; }

TOvLine* TOvBandwidthMeter::Lines(int index) const {
    if (index < 0 || index >= kBandwidthLines) return nullptr;
    return lines_[index].get();
}

void TOvBandwidthMeter::SetValueCount(int v) {
    if (v == scale_.valueCount) return;
    scale_.valueCount = v;
    Redraw();
    Invalidate();
}

void TOvBandwidthMeter::SetMeterColor(TColor c) {
    if (c == Color()) return;
    SetColor(c);
    Redraw();
    Invalidate();
}

void TOvBandwidthMeter::Step() {
    for (auto& l : lines_) l->Data().Step(scale_.valueCount, direction_);
    ScheduleRepaint();
}

void TOvBandwidthMeter::Clear() {
    for (auto& l : lines_) l->Data().Clear();
    ScheduleRepaint();
}

void TOvBandwidthMeter::ScheduleRepaint() {
    stale_ = true;
    if (repaintTimer_->Enabled()) return; // a repaint is due already
    const uint64_t now = GetTickCount64Ms();
    if (now - lastInvalidateMs_ >= kRepaintEveryMs) {
        lastInvalidateMs_ = now;
        Invalidate();
    } else {
        repaintTimer_->SetEnabled(true);
    }
}

TBitmap& TOvBandwidthMeter::BackBuffer() {
    if (stale_) Redraw();
    return *buffer_;
}

void TOvBandwidthMeter::Loaded() {
    TGraphicControl::Loaded();
    buffer_->SetSize(Width(), Height());
    Redraw();
    Invalidate();
}

void TOvBandwidthMeter::Resize() {
    TGraphicControl::Resize();
    if (buffer_->Width() != Width() || buffer_->Height() != Height()) {
        buffer_->SetSize(Width(), Height());
        Redraw();
        Invalidate();
    }
}

void TOvBandwidthMeter::Redraw() {
    stale_ = false;
    TBitmap& b = *buffer_;
    if (b.Empty()) return;
    scale_.width = b.Width();
    scale_.height = b.Height();
    logDivisor_ = BandwidthLogDivisor(scale_);
    TCanvas& c = b.Canvas();
    TGraphic* bg = background_->Graphic();
    if (bg && !bg->Empty()) {
        c.StretchDraw(TRect(0, 0, b.Width(), b.Height()), bg);
    } else {
        c.Brush().SetColor(Color());
        c.FillRect(TRect(0, 0, b.Width() + 1, b.Height() + 1));
    }
    for (auto& l : lines_) {
        if (!l->Visible()) continue;
        if (!BandwidthPoints(l->Data().HistoryData(), scale_, points_)) continue;
        poly_.clear();
        for (const TBandwidthPoint& p : points_) poly_.push_back(TPoint(p.x, p.y));
        c.Pen().SetColor(l->Color());
        c.Polyline(poly_);
    }
}

void TOvBandwidthMeter::WndProc(TMessage& m) {
    TGraphicControl::WndProc(m);
    if (m.Msg != skin::SM_ALPHACMD || !OnSkinChange) return;
    const uint16_t command = skin::SkinCommandOf(m.WParam);
    if (command == skin::AC_SKINLOADED || command == skin::AC_SKINREMOVED || command == skin::AC_SKINREFRESH)
        OnSkinChange(this);
}

void TOvBandwidthMeter::Paint() {
    if (buffer_->Empty()) return;
    if (stale_) Redraw();
    Canvas().CopyRect(TRect(0, 0, Width(), Height()), buffer_->Canvas(), TRect(0, 0, buffer_->Width(), buffer_->Height()));
}

} // namespace tw
