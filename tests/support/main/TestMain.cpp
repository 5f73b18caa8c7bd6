// Entry of every test executable: the thread that runs the tests is the
// user-interface thread, registered before any test can start a worker, as
// the program's start-up registers its own.
#include <gtest/gtest.h>

#include "base/Sync.h"

int main(int argc, char** argv) {
    tw::SetMainThread();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
