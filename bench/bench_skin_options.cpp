// Reading a skin's options text into the tables: a large file with many
// sections, and one whose sections are chained by PARENTCLASS. A skin comes
// from anyone, and the reader runs on the user-interface thread, so its time
// must grow in proportion to the file (the time per section stays flat).
//
//   build/native/bench/bench_skin_options [sections]     (default 8000)
//
// Printed per case: the number of sections, the bytes of the text, the load
// time and the time per section.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/sSkinManager.h"

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Sections S0..Sn-1 with a colour, a font colour and a mask of the rect form
// (no master bitmap: the mask is not kept, but the value is read); with
// chained, each section names the one before it as its parent and leaves its
// values to it.
std::string OptionsText(int sections, bool chained)
{
    std::string text = "[GLOBALINFO]\nVERSION=8.0\n";
    for (int i = 0; i < sections; ++i) {
        text += "[S" + std::to_string(i) + "]\n";
        if (chained && i > 0) {
            text += "PARENTCLASS=S" + std::to_string(i - 1) + "\n";
        } else {
            text += "COLOR=" + std::to_string(i) + "\nFONTCOLOR=$102030\nTRANSPARENCY=20\n";
        }
    }
    return text;
}

void Run(int sections, bool chained)
{
    const std::string text = OptionsText(sections, chained);
    skin::TsSkinManager sm;
    const double start = Now();
    skin::LoadSkinTables(sm, &text);
    const double seconds = Now() - start;
    std::printf("%-8s %6d sections %8zu bytes  %9.1f ms  %7.2f us/section\n", chained ? "chained" : "plain",
                sections, text.size(), seconds * 1000.0, seconds * 1e6 / sections);
    if (sm.gd.size() != size_t(sections) + 1) std::printf("  unexpected: %zu sections read\n", sm.gd.size());
}

} // namespace

int main(int argc, char** argv)
{
    const int most = argc > 1 ? std::atoi(argv[1]) : 8000;
    for (int n = most / 8; n <= most; n *= 2) Run(n, false);
    for (int n = most / 16; n <= most / 2; n *= 2) Run(n, true);
    return 0;
}
