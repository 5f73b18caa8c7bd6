#include "tools/engine/PreviewValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "analysis/TimeStampCorrection.h"
#include "base/SysUtils.h"

namespace tw {

namespace {

// Runs of consecutive DirectShow failure codes with their texts.
struct TResultRun {
    uint32_t First;
    std::vector<const char*> Texts;
};

const std::vector<TResultRun>& ResultRuns() {
    static const std::vector<TResultRun> runs = {
        {0x80040200,
         {"Invalid media type", "Invalid sub type", "Need owner", "Enum out of sync", "Already connected",
          "Filter active", "No types", "No acceptable types", "Invalid direction", "Not connected", "No allocator",
          "Runtime error", "Buffer not set", "Buffer overflow", "Bad align", "Already committed",
          "Buffer outstanding", "Not committed", "Size not set", "No clock", "No sink", "No interface",
          "Not found", "Can not connect", "Can not render", "Changing format", "No color key set",
          "Not overlay connection", "Not sample connection", "Palette set", "Color key set", "No color key found",
          "No palette available", "No display palette", "Too many color", "State changed", "Not stopped",
          "Not paused", "Not running", "Wrong state", "Start time after end", "Invalid rect", "Type not accepted",
          "Sample rejected", "Sample rejected EOS", "Duplicate name", "Timeout", "Invalid file format",
          "Enum out of range", "Circular graph", "Not allowed to save", "Time already passed",
          "Already cancelled", "Corrupt graph file", "Advice already set"}},
        {0x80040238, {"No modex available", "No advice set"}},
        {0x8004023B, {"No fullscreen"}},
        {0x80040240, {"Unknown file type", "Cannot load source filter"}},
        {0x80040243, {"File too short", "Invalid file version"}},
        {0x80040247, {"Invalid CLSID", "Invalid media type", "Sample time not set"}},
        {0x80040251, {"Media time not set", "No time format set", "Mono audio hardware"}},
        {0x80040256, {"No audio hardware"}},
        {0x80040259, {"RPZA"}},
        {0x8004025B,
         {"Processor not suitable", "Unsupported audio", "Unsupported video", "MPEG not constrained",
          "Not in graph"}},
        {0x80040261, {"No time format", "Read only"}},
        {0x80040264, {"Buffer underflow", "Unsupported stream", "No transport"}},
        {0x80040269, {"Bad VideoCD"}},
        {0x80040271,
         {"Out of video memory", "VP negotiation failed", "DirectDraw caps not suitable", "No VP hardware",
          "No capture hardware", "DVD operation inhibited", "DVD invalid domain"}},
        {0x80040279,
         {"DVD graph not ready", "DVD render fail", "DVD dec not enough", "DirectDraw version not suitable",
          "Copy protection failed"}},
        {0x8004027F, {"Time expired"}},
        {0x80040281,
         {"DVD wrong speed", "DVD menu does not exist", "DVD comand cancelled", "DVD state wrong version",
          "DVD state corrupt", "DVD state wrong disc", "DVD incompatible region", "DVD not attributes",
          "DVD no goup PGC", "DVD low parental level", "DVD not in karaoke mode"}},
        {0x8004028E,
         {"Frame step unsupported", "DVD stream disabled", "DVD title unknown", "DVD invalid disc",
          "DVD no resume information", "Pin already blocked on this thread", "Pin already blocked",
          "Certification failure", "VMR not in mixer mode"}},
        {0x800403F2, {"Bad key"}},
        {0x80070490, {"Property ID unsupported"}},
        {0x80070492, {"Property set unsupported"}},
    };
    return runs;
}

} // namespace

std::string HResultText(THResult code) {
    if (HrSucceeded(code)) return "";
    uint32_t u = static_cast<uint32_t>(code);
    for (const TResultRun& run : ResultRuns())
        if (u >= run.First && u - run.First < run.Texts.size()) return run.Texts[u - run.First];
    return "Unknown DirectX error";
}

std::string HResultHex(THResult code) { return IntToHex(static_cast<uint32_t>(code), 8); }

std::string PreviewMsToTimeText(uint32_t ms) {
    return Format("%02u:%02u:%02u.%03u", (ms / 3600000u) % 100u, (ms / 60000u) % 60u, (ms / 1000u) % 60u, ms % 1000u);
}

std::optional<int64_t> PreviewTimeTextToPts(const std::string& text) {
    if (text.size() < 12) return int64_t{0};
    // A typing slip must not raise inside a key handler: no answer instead.
    for (size_t i : {0, 1, 3, 4, 6, 7, 9, 10, 11})
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    return TimeTextToPts(text);
}

int VolumePercentToDb(int percent) {
    if (percent <= 0) return -10000;
    if (percent >= 100) return 0;
    int64_t db = Round(std::log10(percent / 100.0) * 2000.0);
    if (db < -10000) db = -10000;
    if (db > 0) db = 0;
    return static_cast<int>(db);
}

int VolumeDbToPercent(long db) {
    // The renderer's scale runs from -10000 (silent) to 0 (full); an answer
    // beyond it is held at the end it passed.
    db = std::clamp(db, -10000L, 0L);
    return static_cast<int>(Round(std::pow(10.0, db / 2000.0) * 100.0));
}

TFrameTiming FrameTimingFrom(double t) {
    TFrameTiming f;
    if (t > 0.0 && t <= 1.0) {
        f.Valid = true;
        f.FramesPerSecond = 1.0 / t;
        f.FrameMs = static_cast<int>(Round(t * 1000.0));
    }
    return f;
}

TVideoRect FitToAspect(int width, int height, int videoWidth, int videoHeight) {
    double control = width == 0 || height == 0 ? 1.0 : static_cast<double>(width) / height;
    double video = videoWidth == 0 || videoHeight == 0 ? 1.0 : static_cast<double>(videoWidth) / videoHeight;
    TVideoRect r;
    if (video > control) {
        int h = static_cast<int>(Round(width / video));
        if (h > height) h = height;
        r = {0, (height - h) / 2, width, h};
    } else {
        int w = static_cast<int>(Round(height * video));
        if (w > width) w = width;
        r = {(width - w) / 2, 0, w, height};
    }
    return r;
}

int64_t ClampedSeekTarget(int64_t current, int64_t deltaMs, int64_t stop) {
    int64_t target = current + deltaMs * kMediaUnitsPerMs;
    if (target < 0) target = 0;
    if (target > stop) target = stop;
    return target;
}

std::string DebugLogText(const std::string& text, const std::string& timeText) {
    std::string out;
    std::string prefix = timeText;
    size_t i = 0;
    if (text.empty()) return out;
    while (i <= text.size()) {
        size_t end = text.find_first_of("\r\n", i);
        std::string line = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
        out += prefix + ": " + line + "\r\n";
        prefix.assign(timeText.size(), ' ');
        if (end == std::string::npos) break;
        i = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
        if (i == text.size()) break;
    }
    return out;
}

} // namespace tw
