// Entry of every test executable: the thread that runs the tests is the
// user-interface thread, registered before any test can start a worker, as
// the program's start-up registers its own.
#include <gtest/gtest.h>

#include "base/Sync.h"
#include "tests/support/main/HangWatch.h"

int main(int argc, char** argv) {
    tw::SetMainThread();
    ::testing::InitGoogleTest(&argc, argv);
    // A test that waits for something that never comes would otherwise sit
    // until the runner's limit, reported only as a timeout of the whole
    // program: the watch names the test and what it left on the screen.
    ::testing::UnitTest::GetInstance()->listeners().Append(
        tw::test::StartHangWatch(tw::test::HangSecondsFromEnvironment()));
    return RUN_ALL_TESTS();
}
