// The time line's state and geometry without a window: the range in 27 MHz
// ticks, the slices with their In and Out marks, the bar rectangle, the
// mapping between ticks and pixels, hit-testing and dragging of the marks,
// the hover state and the scale's ticks and labels. The control draws what
// this says and feeds it the mouse.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw {

class TSliceCollection;

// One cut slice: its In and Out marks in 27 MHz ticks and as time texts.
// A mark that changes tells the time line owning the collection.
class TSliceItem {
public:
    explicit TSliceItem(TSliceCollection* collection) : collection_(collection) {}
    TSliceItem(const TSliceItem&) = delete;
    TSliceItem& operator=(const TSliceItem&) = delete;

    int64_t Slice_In_PCR() const { return inPcr_; }
    int64_t Slice_Out_PCR() const { return outPcr_; }
    const std::string& Slice_In() const { return inText_; }
    const std::string& Slice_Out() const { return outText_; }
    // In may not pass Out and Out may not pass In (equal is fine); the texts
    // follow.
    void SetSlice_In_PCR(int64_t v);
    void SetSlice_Out_PCR(int64_t v);
    // A valid time text that differs from the stored one sets the mark; it
    // is not compared with the other mark. Others are ignored.
    void SetSlice_In(const std::string& text);
    void SetSlice_Out(const std::string& text);
    // Both marks and texts as they are, without telling anyone.
    void Assign(const TSliceItem& source);
    std::string DisplayName() const { return "SliceItem"; }
    TSliceCollection* Collection() const { return collection_; }
    // Place in the collection, -1 without one.
    int Index() const;

private:
    void NotifyChange(bool in, bool out);

    TSliceCollection* collection_;
    int64_t inPcr_ = 0;
    int64_t outPcr_ = 0;
    std::string inText_ = "00:00:00.000";
    std::string outText_ = "00:00:00.000";
};

// The slices of a time line, in the order they were added.
class TSliceCollection {
public:
    TSliceCollection() = default;
    TSliceCollection(const TSliceCollection&) = delete;
    TSliceCollection& operator=(const TSliceCollection&) = delete;

    // The owning time line's change handler: (slice index, In changed, Out
    // changed). Empty for a collection no time line owns.
    std::function<void(int, bool, bool)> OnChange;

    TSliceItem& Add();
    int Count() const { return static_cast<int>(items_.size()); }
    TSliceItem& Items(int i) { return *items_.at(static_cast<size_t>(i)); }
    const TSliceItem& Items(int i) const { return *items_.at(static_cast<size_t>(i)); }
    int IndexOf(const TSliceItem* item) const;
    // Copies of the source's items in place of these, without notification.
    void Assign(const TSliceCollection& source);

private:
    std::vector<std::unique_ptr<TSliceItem>> items_;
};

struct TBarRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
};

struct TSliceHit {
    int Index = -1;
    int EdgeX = 0;
    bool IsOut = false;
    bool IsIn = false;
};

// Where a slice's block lies on the control: left edge and width in pixels.
struct TSliceBlock {
    int X = 0;
    int Width = 0;
};

// One tick of the scale under the bar; Label is empty for minute ticks.
struct TScaleTick {
    int X = 0;
    int Y1 = 0, Y2 = 0;
    int FontSize = 0;
    int64_t Pcr = 0;
    std::string Label;
};

// The bounds a rejected range change reports to the user.
struct TRangeError {
    int64_t Low = 0, High = 0;
};

// The message of a refused range change.
std::string RangeErrorText(const TRangeError& e);

// 27 MHz ticks in one hour, ten minutes and one minute.
constexpr int64_t kPcrPerHour = 97200000000LL;
constexpr int64_t kPcrPerTenMinutes = 16200000000LL;
constexpr int64_t kPcrPerMinute = 1620000000LL;

// "h:mm" of a position on the scale; the hours are not padded.
std::string TickLabelText(int64_t pcr);

class TTimeLineModel {
public:
    // Fired after a slice mark changed: (slice index, In changed, Out changed).
    std::function<void(int, bool, bool)> OnChange;

    TTimeLineModel();
    // A copy has its own slices, which tell the copy of their changes.
    TTimeLineModel(const TTimeLineModel& other);
    TTimeLineModel& operator=(const TTimeLineModel& other);

    int64_t MinPCR() const { return MinPcr_; }
    int64_t MaxPCR() const { return MaxPcr_; }
    int64_t LengthPCR() const { return MaxPcr_ - MinPcr_; }
    // A value past the other end is refused with the bounds to report,
    // except while a layout is being loaded.
    std::optional<TRangeError> SetMinPCR(int64_t v, bool loading = false);
    std::optional<TRangeError> SetMaxPCR(int64_t v, bool loading = false);

    int Width() const { return Width_; }
    int SpaceH() const { return SpaceH_; }
    int SliceBarHeight() const { return BarHeight_; }
    // Each recomputes the bar rectangle, so that a resized control hit-tests
    // against the bar it shows.
    void SetWidth(int w);
    void SetSpaceH(int v);
    void SetSliceBarHeight(int v);
    const TBarRect& BarRect() const { return Bar_; }
    // Pixels of the bar between the margins, 0 when the control is narrower.
    int BarWidth() const;
    // Whether ticks can be mapped to pixels at all: a range of no length
    // (or an inverted one left by loading) has no scale.
    bool HasScale() const { return LengthPCR() > 0 && BarWidth() > 0; }

    TSliceCollection& Slices() { return Slices_; }
    const TSliceCollection& Slices() const { return Slices_; }
    int AddSlice();
    int SliceCount() const { return Slices_.Count(); }
    const TSliceItem& Slice(int i) const { return Slices_.Items(i); }
    // The setters of slice i (see TSliceItem); a changed mark fires OnChange.
    void SetSliceInPcr(int i, int64_t v) { Slices_.Items(i).SetSlice_In_PCR(v); }
    void SetSliceOutPcr(int i, int64_t v) { Slices_.Items(i).SetSlice_Out_PCR(v); }
    void SetSliceIn(int i, const std::string& text) { Slices_.Items(i).SetSlice_In(text); }
    void SetSliceOut(int i, const std::string& text) { Slices_.Items(i).SetSlice_Out(text); }

    // A position far outside the range gives a pixel far off the control.
    int PcrToX(int64_t pcr) const;
    // The block of slice i, from its In mark to its Out mark, cut a
    // control's width beyond either side of the control.
    TSliceBlock SliceBlock(int i) const;
    TSliceHit HitTestSliceEdge(int x) const;
    void DragSliceEdge(int index, int x, bool isIn);

    // Mouse moves over the control; true when the control should repaint.
    bool MouseMove(int x, int y, bool leftDown);
    void MouseLeave();
    bool MouseOverBar() const { return OverBar_; }
    int LastMouseX() const { return LastX_; }
    const TSliceHit& Hot() const { return Hot_; }

    // Minute, ten-minute and hour ticks, in that order, as the scale shows them.
    std::vector<TScaleTick> ScaleTicks() const;

private:
    void CalcBarRect();
    double Scale() const;
    void Notify(int i, bool in, bool out);

    int64_t MinPcr_ = 0;
    int64_t MaxPcr_ = 3240000000LL; // two minutes
    int Width_ = 120;
    int SpaceH_ = 10;
    int BarHeight_ = 20;
    TBarRect Bar_;
    TSliceCollection Slices_;
    bool OverBar_ = false;
    int LastX_ = 0;
    TSliceHit Hot_;
};

} // namespace tw
