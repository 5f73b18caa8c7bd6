// Entry of every test executable: the thread that runs the tests is the
// user-interface thread, registered before any test can start a worker, as
// the program's start-up registers its own.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/Sync.h"
#include "tests/support/main/HangWatch.h"

int main(int argc, char** argv) {
    tw::SetMainThread();
    ::testing::InitGoogleTest(&argc, argv);
    // A test that waits for something that never comes would otherwise sit
    // until the runner's limit, reported only as a timeout of the whole
    // program: the watch names the test and what it left on the screen.
    int seconds = tw::test::kDefaultHangSeconds;
    if (const char* s = std::getenv("TW_TEST_HANG_SECONDS")) seconds = tw::test::ParseHangSeconds(s, seconds);
    ::testing::UnitTest::GetInstance()->listeners().Append(tw::test::StartHangWatch(seconds));
    return RUN_ALL_TESTS();
}
