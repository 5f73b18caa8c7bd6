// Ends a test program whose test has run far longer than any test should:
// the test's name, the windows the program has on the screen and a failing
// exit code, instead of a silent wait until the test runner kills it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace tw::test {

// Window tests under Wine share a 300 s limit for the whole program; the
// others may run far slower under a sanitizer.
#ifdef _WIN32
constexpr int kDefaultHangSeconds = 150;
#else
constexpr int kDefaultHangSeconds = 450;
#endif

// The limit as the environment gives it: whole seconds, 1 to a day; 0 turns
// the watch off; anything else keeps `fallback`.
int ParseHangSeconds(const char* text, int fallback);

// The limit of this program: TW_TEST_HANG_SECONDS, else the default.
int HangSecondsFromEnvironment();

// What the watch says about the program when a test has hung (on Windows,
// the visible windows of this process with their class and caption).
std::string DescribeOpenWindows();

class HangWatch : public ::testing::EmptyTestEventListener {
public:
    // `onHang` gets the test's full name and what the program shows; it is
    // called on the watch's own thread, at most once.
    using HangAction = std::function<void(const std::string& test, const std::string& windows)>;
    HangWatch(std::chrono::milliseconds limit, HangAction onHang);
    ~HangWatch() override;
    HangWatch(const HangWatch&) = delete;
    HangWatch& operator=(const HangWatch&) = delete;

    void OnTestStart(const ::testing::TestInfo& info) override;
    void OnTestEnd(const ::testing::TestInfo& info) override;

    // Names a test as started or ended (what the listener calls do).
    void Started(const std::string& name);
    void Ended();

private:
    struct State;
    State* state_; // shared with the watch thread, which outlives a hung program
};

// The watch of a test program: prints the hung test and ends the program
// with exit code 3. `seconds` 0: a listener that watches nothing.
::testing::TestEventListener* StartHangWatch(int seconds);

} // namespace tw::test
