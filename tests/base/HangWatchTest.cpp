// The watch that ends a test program whose test hangs.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/support/main/HangWatch.h"

using namespace std::chrono_literals;
using tw::test::HangWatch;
using tw::test::ParseHangSeconds;

namespace {

struct Seen {
    std::mutex m;
    std::condition_variable cv;
    int calls = 0;
    std::string test;

    HangWatch::HangAction Action() {
        return [this](const std::string& t, const std::string&) {
            std::lock_guard<std::mutex> lk(m);
            ++calls;
            test = t;
            cv.notify_all();
        };
    }
    bool WaitForCall(std::chrono::milliseconds within) {
        std::unique_lock<std::mutex> lk(m);
        return cv.wait_for(lk, within, [&] { return calls > 0; });
    }
};

} // namespace

TEST(HangWatch, ATestThatOverrunsIsNamedOnce) {
    Seen seen;
    {
        HangWatch watch(50ms, seen.Action());
        watch.Started("Quick.Test");
        watch.Ended();
        watch.Started("Stuck.Test");
        ASSERT_TRUE(seen.WaitForCall(30s));
        std::this_thread::sleep_for(150ms);
    }
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.test, "Stuck.Test");
}

TEST(HangWatch, TestsThatEndInTimeAndTheTimeBetweenThemAreNotWatched) {
    Seen seen;
    {
        HangWatch watch(1s, seen.Action());
        // Many short tests whose total is far past the limit: each has its own.
        for (int i = 0; i < 8; ++i) {
            watch.Started("Short.Test" + std::to_string(i));
            std::this_thread::sleep_for(60ms);
            watch.Ended();
        }
        // No test running: a long pause between tests is nobody's hang.
        std::this_thread::sleep_for(1500ms);
    }
    EXPECT_EQ(seen.calls, 0);
}

TEST(HangWatch, TheLimitFromTheEnvironmentIsBoundedAndGarbageIgnored) {
    EXPECT_EQ(ParseHangSeconds("90", 150), 90);
    EXPECT_EQ(ParseHangSeconds("0", 150), 0);
    EXPECT_EQ(ParseHangSeconds("86400", 150), 86400);
    for (const char* bad : {"", "-5", "12s", " 30", "86401", "99999999999999999999999", "0x10", "1e3"})
        EXPECT_EQ(ParseHangSeconds(bad, 150), 150) << bad;
    EXPECT_EQ(ParseHangSeconds(nullptr, 7), 7);
}

#ifdef _WIN32
#include <windows.h>

#include <future>

// The watch describes the windows while the test's thread is stuck, and a
// stuck thread answers no message: reading the windows must not wait for it.
TEST(HangWatch, TheWindowsOfAThreadThatAnswersNoMessageAreDescribed) {
    HWND w = CreateWindowExW(0, L"STATIC", L"Stuck window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(w, nullptr);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    auto described = std::async(std::launch::async, [] { return tw::test::DescribeOpenWindows(); });
    // This thread takes no message while it waits, as a hung test does.
    const bool inTime = described.wait_for(10s) == std::future_status::ready;
    // Let a watch that waits for an answer finish before the window goes.
    while (described.wait_for(0ms) != std::future_status::ready) {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        std::this_thread::sleep_for(10ms);
    }
    const std::string text = described.get();
    DestroyWindow(w);
    EXPECT_TRUE(inTime);
    EXPECT_NE(text.find("Static \"Stuck window\""), std::string::npos) << text;
}
#endif
