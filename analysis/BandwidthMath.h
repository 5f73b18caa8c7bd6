// The arithmetic of the bandwidth meter: value lines that accumulate samples
// between steps and keep a scrolling history, and the mapping of a line's
// history to pixel points. The control (app/BandwidthMeter) only draws what
// this computes.
#pragma once

#include <cstdint>
#include <vector>

namespace tw {

enum TBandwidthDirection { bdLeftToRight, bdRightToLeft };
enum TBandwidthDisplayType { bdtLinear, bdtLog2, bdtLog10 };

constexpr int kBandwidthHistory = 1024;
constexpr int kBandwidthLines = 16;

// One value line: the samples added since the last step and the history of
// step values. Fixed arrays; nothing is allocated per step.
class TBandwidthLine {
public:
    TBandwidthLine() { Clear(); }
    // Adds to the current step; the step's value is the sum, not an average.
    void AddSample(int32_t v) {
        sum_ += v;
        ++count_;
    }
    // Takes the accumulated sum (its low 32 bits) as the new value when any
    // sample came, else keeps the last value; then shifts the history of
    // valueCount slots (limited to the capacity) in the given direction.
    void Step(int valueCount, TBandwidthDirection direction);
    void Clear();

    int32_t Value() const { return value_; }
    void SetValue(int32_t v) { value_ = v; }
    int32_t History(int i) const { return history_[i]; }
    const int32_t* HistoryData() const { return history_; }
    int64_t Sum() const { return sum_; }
    int32_t Count() const { return count_; }

private:
    int32_t value_ = 0;
    int64_t sum_ = 0;
    int32_t count_ = 0;
    int32_t history_[kBandwidthHistory];
};

struct TBandwidthScale {
    int width = 0;  // bitmap size
    int height = 0;
    int spacingTop = 10;
    int spacingBottom = 10;
    int32_t valueMin = 0;
    int32_t valueMax = 20000;
    int valueCount = 100;
    TBandwidthDisplayType displayType = bdtLinear;
};

struct TBandwidthPoint {
    int x;
    int y;
};

// Drawable height: bitmap height minus both spacings.
int BandwidthDrawableHeight(const TBandwidthScale& s);
// log2(h) or log10(h) for the logarithmic types, else 1.0.
double BandwidthLogDivisor(const TBandwidthScale& s);
// The polyline of one history (valueCount points, at most the capacity).
// Returns false (and no points) when the scale cannot be drawn: ValueMax not
// above ValueMin, no slots, or no drawable height.
bool BandwidthPoints(const int32_t* history, const TBandwidthScale& s, std::vector<TBandwidthPoint>& out);

} // namespace tw
