// The portable half of the update check: which release text to ask for, the
// version number at its start, and whether a notice is due. The HTTP
// requests and the notice window live in app/.
#pragma once

#include <string>

namespace tw {

// File names of the release texts on the maker's web server.
extern const char* const kReleaseTextGerman;  // "Tarnwick_Release_ger.txt"
extern const char* const kReleaseTextEnglish; // "Tarnwick_Release_eng.txt"
// Folder of the release texts (plain HTTP) and the download pages.
extern const char* const kReleaseTextFolder;
extern const char* const kDownloadPageGerman;
extern const char* const kDownloadPageEnglish;

// The address of the release text for the `Language` setting ("GER" asks
// for the German text, anything else for the English one).
std::string ReleaseTextAddress(const std::string& language);
// The download page the notice links: English only for "ENG".
std::string DownloadPageAddress(const std::string& language);

// The version number in the first five characters of a release text, read
// with "." as the decimal separator whatever the locale; 0 when the text is
// empty or does not start with a number.
double ReleaseTextVersion(const std::string& releaseText);
// The version as the notice shows it: two decimals, "." separator.
std::string UpdateVersionText(double version);

// Days since 1899-12-30 (the settings store's date format) of now.
double NowAsDays();

// True when a notice for `releaseVersion` is due: it is newer than the
// program (compared in hundredths) and was not announced within the last
// seven days (`lastVersion`/`lastDate` as stored after the last notice).
bool UpdateNoticeDue(double programVersion, double releaseVersion, double lastVersion, double lastDate, double now);

} // namespace tw
