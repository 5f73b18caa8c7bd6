#include "tools/engine/TimeLineModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Rounding.h"
#include "ts/TSClock.h"

namespace tw {

namespace {
// Half the width of the zone around a mark that takes the pointer.
constexpr int kHitSlack = 3;
constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();
// Pixels from the bar's start beyond which a position is simply "far away".
constexpr double kFarPixel = 1 << 28;

// Rounding as the rest of the program does it: halves to the even neighbour.
int64_t RoundEven(double v) { return RoundHalfEven(v); }
} // namespace

std::string TickLabelText(int64_t pcr) {
    const int64_t h = pcr / kPcrPerHour;
    const int64_t m = (pcr / kPcrPerMinute) % 60;
    return std::to_string(h) + (m <= 9 ? ":0" : ":") + std::to_string(m);
}

std::string RangeErrorText(const TRangeError& e) {
    return "Wert muss zwischen " + std::to_string(e.Low) + " und " + std::to_string(e.High) + " liegen";
}

void TSliceItem::SetSlice_In_PCR(int64_t v) {
    if (v > outPcr_ || v == inPcr_) return;
    inPcr_ = v;
    inText_ = PcrToTimeText(v);
    NotifyChange(true, false);
}

void TSliceItem::SetSlice_Out_PCR(int64_t v) {
    if (v < inPcr_ || v == outPcr_) return;
    outPcr_ = v;
    outText_ = PcrToTimeText(v);
    NotifyChange(false, true);
}

void TSliceItem::SetSlice_In(const std::string& text) {
    if (text == inText_ || !IsValidTimeText(text)) return;
    inText_ = text;
    inPcr_ = TimeTextToPcr(text);
    NotifyChange(true, false);
}

void TSliceItem::SetSlice_Out(const std::string& text) {
    if (text == outText_ || !IsValidTimeText(text)) return;
    outText_ = text;
    outPcr_ = TimeTextToPcr(text);
    NotifyChange(false, true);
}

void TSliceItem::Assign(const TSliceItem& source) {
    inPcr_ = source.inPcr_;
    outPcr_ = source.outPcr_;
    inText_ = source.inText_;
    outText_ = source.outText_;
}

int TSliceItem::Index() const { return collection_ ? collection_->IndexOf(this) : -1; }

void TSliceItem::NotifyChange(bool in, bool out) {
    if (collection_ && collection_->OnChange) collection_->OnChange(Index(), in, out);
}

TSliceItem& TSliceCollection::Add() {
    items_.push_back(std::make_unique<TSliceItem>(this));
    return *items_.back();
}

int TSliceCollection::IndexOf(const TSliceItem* item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == item) return static_cast<int>(i);
    return -1;
}

void TSliceCollection::Assign(const TSliceCollection& source) {
    if (&source == this) return;
    items_.clear();
    for (const auto& item : source.items_) Add().Assign(*item);
}

TTimeLineModel::TTimeLineModel() {
    Slices_.OnChange = [this](int i, bool in, bool out) { Notify(i, in, out); };
    CalcBarRect();
}

TTimeLineModel::TTimeLineModel(const TTimeLineModel& other) : TTimeLineModel() { *this = other; }

TTimeLineModel& TTimeLineModel::operator=(const TTimeLineModel& other) {
    if (&other == this) return *this;
    OnChange = other.OnChange;
    MinPcr_ = other.MinPcr_;
    MaxPcr_ = other.MaxPcr_;
    Width_ = other.Width_;
    SpaceH_ = other.SpaceH_;
    BarHeight_ = other.BarHeight_;
    Bar_ = other.Bar_;
    Slices_.Assign(other.Slices_);
    OverBar_ = other.OverBar_;
    LastX_ = other.LastX_;
    Hot_ = other.Hot_;
    return *this;
}

std::optional<TRangeError> TTimeLineModel::SetMinPCR(int64_t v, bool loading) {
    if (v == MinPcr_) return std::nullopt;
    if (v > MaxPcr_ && !loading) return TRangeError{-kIntMax, MaxPcr_ - 1};
    MinPcr_ = v;
    return std::nullopt;
}

std::optional<TRangeError> TTimeLineModel::SetMaxPCR(int64_t v, bool loading) {
    if (v == MaxPcr_) return std::nullopt;
    if (v < MinPcr_ && !loading) return TRangeError{MinPcr_ + 1, kIntMax};
    MaxPcr_ = v;
    return std::nullopt;
}

void TTimeLineModel::CalcBarRect() {
    Bar_ = TBarRect{SpaceH_, 2, Width_ - SpaceH_, BarHeight_ + 2};
}

void TTimeLineModel::SetWidth(int w) {
    Width_ = w;
    CalcBarRect();
}

void TTimeLineModel::SetSpaceH(int v) {
    SpaceH_ = v;
    CalcBarRect();
}

void TTimeLineModel::SetSliceBarHeight(int v) {
    BarHeight_ = v;
    CalcBarRect();
}

int TTimeLineModel::BarWidth() const {
    const int w = Width_ - 2 * SpaceH_;
    return w > 0 ? w : 0;
}

double TTimeLineModel::Scale() const {
    return HasScale() ? static_cast<double>(BarWidth()) / static_cast<double>(LengthPCR()) : 0.0;
}

int TTimeLineModel::AddSlice() {
    Slices_.Add();
    return SliceCount() - 1;
}

void TTimeLineModel::Notify(int i, bool in, bool out) {
    if (OnChange) OnChange(i, in, out);
}

int TTimeLineModel::PcrToX(int64_t pcr) const {
    // A mark can lie far outside the range (a time typed past a short
    // recording's end): its pixel is held far off the control instead of
    // wrapping around into the bar, where the pointer would find it.
    const double x = std::clamp(static_cast<double>(pcr) * Scale(), -kFarPixel, kFarPixel);
    return static_cast<int>(RoundEven(x)) + SpaceH_;
}

TSliceBlock TTimeLineModel::SliceBlock(int i) const {
    // Only the part over the control can be seen: a block is cut a control's
    // width beyond either side, so that its ends stay out of sight and its
    // picture is never wider than three controls.
    const int lo = SpaceH_ - Width_, hi = SpaceH_ + 2 * Width_;
    const int x1 = std::clamp(PcrToX(Slices_.Items(i).Slice_In_PCR()), lo, hi);
    const int x2 = std::clamp(PcrToX(Slices_.Items(i).Slice_Out_PCR()), lo, hi);
    return TSliceBlock{x1, x2 - x1};
}

TSliceHit TTimeLineModel::HitTestSliceEdge(int x) const {
    TSliceHit r;
    if (!HasScale()) return r;
    for (int i = 0; i < SliceCount(); ++i) {
        const int xIn = PcrToX(Slices_.Items(i).Slice_In_PCR());
        const int xOut = PcrToX(Slices_.Items(i).Slice_Out_PCR());
        if (x - kHitSlack <= xIn && xIn <= x + kHitSlack) return TSliceHit{i, xIn, false, true};
        if (x - kHitSlack <= xOut && xOut <= x + kHitSlack) return TSliceHit{i, xOut, true, false};
    }
    return r;
}

void TTimeLineModel::DragSliceEdge(int index, int x, bool isIn) {
    if (!HasScale() || index < 0 || index >= SliceCount()) return;
    const double ticksPerPixel = static_cast<double>(LengthPCR()) / BarWidth();
    const int64_t pcr = RoundEven((x - SpaceH_) * ticksPerPixel);
    if (isIn)
        SetSliceInPcr(index, pcr);
    else
        SetSliceOutPcr(index, pcr);
}

bool TTimeLineModel::MouseMove(int x, int y, bool leftDown) {
    const bool inBar = Bar_.Contains(x, y);
    if (leftDown) {
        if (!inBar) return false;
        LastX_ = x;
        Hot_.EdgeX = x;
        // The edge taken when the button went down stays, however far it moves.
        if (Hot_.Index >= 0) DragSliceEdge(Hot_.Index, x, Hot_.IsIn);
        return true;
    }
    if (inBar) {
        LastX_ = x;
        OverBar_ = true;
        Hot_ = HitTestSliceEdge(x);
        return true;
    }
    const bool was = OverBar_;
    OverBar_ = false;
    Hot_.Index = -1;
    return was;
}

void TTimeLineModel::MouseLeave() {
    OverBar_ = false;
    Hot_.Index = -1;
}

std::vector<TScaleTick> TTimeLineModel::ScaleTicks() const {
    std::vector<TScaleTick> ticks;
    if (!HasScale()) return ticks;
    const double scale = Scale();
    const double barWidth = BarWidth();
    const int y0 = BarHeight_ + 4;
    struct Kind {
        int64_t Pcr;
        int Every; // ticks at multiples of this are drawn by the longer kind
        int Y2, FontSize;
    };
    const Kind kinds[] = {{kPcrPerMinute, 10, BarHeight_ + 7, 0},
                          {kPcrPerTenMinutes, 6, BarHeight_ + 9, 7},
                          {kPcrPerHour, 0, BarHeight_ + 16, 8}};
    for (const Kind& k : kinds) {
        const double px = scale * static_cast<double>(k.Pcr);
        const int64_t steps = RoundEven(barWidth / px);
        for (int64_t i = 0; i <= steps; ++i) {
            if (k.Every != 0 && i % k.Every == 0) continue;
            TScaleTick t;
            t.X = static_cast<int>(RoundEven(static_cast<double>(i) * px)) + SpaceH_;
            t.Y1 = y0;
            t.Y2 = k.Y2;
            t.FontSize = k.FontSize;
            t.Pcr = i * k.Pcr;
            if (k.FontSize != 0) t.Label = TickLabelText(t.Pcr);
            ticks.push_back(t);
        }
    }
    return ticks;
}

} // namespace tw
