// The two MPEG clocks and the time text the windows show and accept:
// 27 MHz values (PCR, ESCR) to and from "hh:mm:ss.zzz", 90 kHz values (PTS,
// DTS) to milliseconds. No state.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

// 27 MHz ticks in one day (27,000,000 x 86,400).
constexpr int64_t kPcrTicksPerDay = 2332800000000LL;

// The time of day of a 27 MHz value; 24 hours and more wrap around. A
// negative value (a difference) is written with a leading "-".
std::string PcrToTimeText(int64_t value);
// A time of day given as a fraction of days, rounded to milliseconds; whole
// days are dropped, a negative value gets a leading "-".
std::string DateTimeToTimeText(double t);
// The same text of a count of milliseconds.
std::string MsToTimeText(int64_t ms);
// Reads the four fields of a 12-character text by position; 0 when the text
// is shorter or a field is not a number.
int64_t TimeTextToPcr(const std::string& text);
// Exactly 12 characters, four numeric fields, minutes and seconds below 60.
bool IsValidTimeText(const std::string& text);
// value / 90 rounded to the nearest integer, halves to the even neighbour.
int64_t PtsToMs(int64_t value);

} // namespace tw
