#include "ts/TSClock.h"

#include <cmath>
#include <cstdio>

namespace tw {

namespace {

// A field of decimal digits only (no sign, no blanks).
bool ReadField(const std::string& s, size_t at, size_t len, int64_t& out) {
    if (at + len > s.size()) return false;
    int64_t v = 0;
    for (size_t k = 0; k < len; ++k) {
        const char c = s[at + k];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

bool ReadFields(const std::string& s, int64_t& h, int64_t& m, int64_t& sec, int64_t& ms) {
    return ReadField(s, 0, 2, h) && ReadField(s, 3, 2, m) && ReadField(s, 6, 2, sec) && ReadField(s, 9, 3, ms);
}

} // namespace

std::string MsToTimeText(int64_t ms) {
    // A time of day: whole days are dropped. A time below zero (a frame
    // before the stream's first stamp) reads as its distance from zero, as
    // the time part of a date before the calendar's start does, so the text
    // always has its twelve characters and reads back as a time text.
    const int64_t r = ms % 86400000;
    const int64_t a = r < 0 ? -r : r;
    const int64_t h = a / 3600000;
    const int64_t m = a / 60000 % 60;
    const int64_t s = a / 1000 % 60;
    const int64_t z = a % 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(h),
                  static_cast<long long>(m), static_cast<long long>(s), static_cast<long long>(z));
    return buf;
}

std::string DateTimeToTimeText(double t) {
    // The time part in whole milliseconds, taken from the magnitude below
    // zero; the whole days are dropped on either side.
    if (!std::isfinite(t)) return MsToTimeText(0);
    const double a = std::fabs(t);
    const int64_t ms = static_cast<int64_t>(std::llround((a - std::floor(a)) * 86400000.0)) % 86400000;
    return MsToTimeText(ms);
}

std::string PcrToTimeText(int64_t value) {
    return DateTimeToTimeText(static_cast<double>(value) / static_cast<double>(kPcrTicksPerDay));
}

int64_t TimeTextToPcr(const std::string& text) {
    if (text.size() < 12) return 0;
    int64_t h, m, s, z;
    if (!ReadFields(text, h, m, s, z)) return 0;
    return (h * 3600000 + m * 60000 + s * 1000 + z) * 27000;
}

bool IsValidTimeText(const std::string& text) {
    if (text.size() != 12) return false;
    int64_t h, m, s, z;
    if (!ReadFields(text, h, m, s, z)) return false;
    return m < 60 && s < 60;
}

int64_t PtsToMs(int64_t value) {
    // Integer rounding, halves to even, so large values lose nothing.
    int64_t q = value / 90;
    int64_t r = value % 90;
    if (r < 0) {
        r += 90;
        --q;
    }
    if (r * 2 > 90 || (r * 2 == 90 && (q & 1) != 0)) ++q;
    return q;
}

} // namespace tw
