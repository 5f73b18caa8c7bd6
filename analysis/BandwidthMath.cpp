#include "analysis/BandwidthMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/SysUtils.h"

namespace tw {

void TBandwidthLine::Step(int valueCount, TBandwidthDirection direction) {
    if (count_ > 0) {
        value_ = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(sum_)));
        sum_ = 0;
        count_ = 0;
    }
    int n = std::clamp(valueCount, 0, kBandwidthHistory);
    if (n <= 0) return;
    if (direction == bdRightToLeft) {
        std::memmove(&history_[0], &history_[1], sizeof(int32_t) * static_cast<size_t>(n - 1));
        history_[n - 1] = value_;
    } else {
        std::memmove(&history_[1], &history_[0], sizeof(int32_t) * static_cast<size_t>(n - 1));
        history_[0] = value_;
    }
}

void TBandwidthLine::Clear() {
    std::memset(history_, 0, sizeof(history_));
    sum_ = 0;
    count_ = 0;
}

int BandwidthDrawableHeight(const TBandwidthScale& s) { return s.height - s.spacingBottom - s.spacingTop; }

double BandwidthLogDivisor(const TBandwidthScale& s) {
    double h = BandwidthDrawableHeight(s);
    if (h <= 0) return 1.0;
    if (s.displayType == bdtLog2) return std::log2(h);
    if (s.displayType == bdtLog10) return std::log10(h);
    return 1.0;
}

bool BandwidthPoints(const int32_t* history, const TBandwidthScale& s, std::vector<TBandwidthPoint>& out) {
    out.clear();
    int h = BandwidthDrawableHeight(s);
    int n = std::min(s.valueCount, kBandwidthHistory);
    // A range of zero would divide by zero; such a meter draws no lines.
    if (s.valueMax <= s.valueMin || n <= 0 || h <= 0) return false;
    double scale = static_cast<double>(h) / (static_cast<double>(s.valueMax) - s.valueMin);
    double xStep = static_cast<double>(s.width) / n;
    double divisor = BandwidthLogDivisor(s);
    bool logType = s.displayType != bdtLinear;
    // With a drawable height of one pixel the logarithm of h is 0; keep the
    // line on the base line instead of dividing by zero.
    if (logType && divisor <= 0.0) logType = false;
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double v = std::clamp(history[i], s.valueMin, s.valueMax);
        int x = static_cast<int>(Round(i * xStep));
        int y = s.spacingTop + h - static_cast<int>(Round(v * scale));
        if (logType && v > 0.001) {
            if (v * scale < 1) v = 1 / scale;
            double l = s.displayType == bdtLog2 ? std::log2(v * scale) : std::log10(v * scale);
            y = s.spacingTop + h - static_cast<int>(Round(l / divisor * h));
        }
        out.push_back({x, y});
    }
    return true;
}

} // namespace tw
