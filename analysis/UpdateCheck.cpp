#include "analysis/UpdateCheck.h"

#include <charconv>
#include <chrono>
#include <cmath>

#include "base/SysUtils.h"

namespace tw {

const char* const kReleaseTextGerman = "Tarnwick_Release_ger.txt";
const char* const kReleaseTextEnglish = "Tarnwick_Release_eng.txt";
const char* const kReleaseTextFolder = "http://www.orvalin.example/tarnwick/";
const char* const kDownloadPageGerman = "https://www.orvalin.example/tarnwick/de/download.html";
const char* const kDownloadPageEnglish = "https://www.orvalin.example/tarnwick/en/download.html";

namespace {
constexpr double kNoticeRepeatDays = 7.0;
// Seconds from 1899-12-30 to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;

int64_t Hundredths(double v) { return Round(v * 100.0); }
} // namespace

std::string ReleaseTextAddress(const std::string& language) {
    return std::string(kReleaseTextFolder) + (language == "GER" ? kReleaseTextGerman : kReleaseTextEnglish);
}

std::string DownloadPageAddress(const std::string& language) {
    return language == "ENG" ? kDownloadPageEnglish : kDownloadPageGerman;
}

double ReleaseTextVersion(const std::string& releaseText) {
    std::string head = Trim(releaseText.substr(0, 5));
    if (head.empty()) return 0.0;
    // from_chars ignores the locale: "1.25" is 1.25 also where "," separates.
    double v = 0.0;
    const char* end = head.data() + head.size();
    auto [ptr, ec] = std::from_chars(head.data(), end, v, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || !std::isfinite(v)) return 0.0;
    return v;
}

std::string UpdateVersionText(double version) {
    std::string s = Format("%.2f", version);
    for (char& c : s)
        if (c == ',') {
            c = '.';
            break;
        }
    return s;
}

double NowAsDays() {
    using namespace std::chrono;
    double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return kUnixEpochDays + seconds / 86400.0;
}

bool UpdateNoticeDue(double programVersion, double releaseVersion, double lastVersion, double lastDate, double now) {
    if (Hundredths(programVersion) >= Hundredths(releaseVersion)) return false;
    if (Hundredths(lastVersion) == Hundredths(releaseVersion) && now - lastDate < kNoticeRepeatDays) return false;
    return true;
}

} // namespace tw
