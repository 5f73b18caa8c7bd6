#include "tests/support/main/HangWatch.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tw::test {

int ParseHangSeconds(const char* text, int fallback) {
    if (!text || !*text) return fallback;
    long long v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return fallback;
        v = v * 10 + (*p - '0');
        if (v > 86400) return fallback;
    }
    return static_cast<int>(v);
}

int HangSecondsFromEnvironment() { return ParseHangSeconds(std::getenv("TW_TEST_HANG_SECONDS"), kDefaultHangSeconds); }

std::string DescribeOpenWindows() {
#ifdef _WIN32
    std::string out;
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid != GetCurrentProcessId() || !IsWindowVisible(h)) return TRUE;
            wchar_t cls[128] = {}, title[256] = {};
            GetClassNameW(h, cls, 127);
            // The caption as the system keeps it: asking the window would
            // wait for the hung thread that owns it.
            InternalGetWindowText(h, title, 255);
            char line[1024];
            std::snprintf(line, sizeof line, "  %ls \"%ls\"%s\n", cls, title, IsWindowEnabled(h) ? "" : " (disabled)");
            *reinterpret_cast<std::string*>(lp) += line;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out.empty() ? "  (no visible window)\n" : out;
#else
    return {};
#endif
}

struct HangWatch::State {
    std::mutex m;
    std::condition_variable cv;
    std::chrono::milliseconds limit{0};
    HangAction onHang;
    std::string name;
    bool armed = false;
    bool stop = false;
    unsigned long long generation = 0;
    std::thread thread;

    void Run() {
        std::unique_lock<std::mutex> lk(m);
        while (!stop) {
            if (!armed) {
                cv.wait(lk, [&] { return stop || armed; });
                continue;
            }
            const unsigned long long g = generation;
            if (cv.wait_for(lk, limit, [&] { return stop || generation != g; })) continue;
            const std::string hung = name;
            lk.unlock();
            onHang(hung, DescribeOpenWindows());
            return;
        }
    }
};

HangWatch::HangWatch(std::chrono::milliseconds limit, HangAction onHang) : state_(new State) {
    state_->limit = limit;
    state_->onHang = std::move(onHang);
    state_->thread = std::thread([s = state_] { s->Run(); });
}

HangWatch::~HangWatch() {
    {
        std::lock_guard<std::mutex> lk(state_->m);
        state_->stop = true;
    }
    state_->cv.notify_all();
    state_->thread.join();
    delete state_;
}

void HangWatch::Started(const std::string& name) {
    {
        std::lock_guard<std::mutex> lk(state_->m);
        state_->name = name;
        state_->armed = true;
        ++state_->generation;
    }
    state_->cv.notify_all();
}

void HangWatch::Ended() {
    {
        std::lock_guard<std::mutex> lk(state_->m);
        state_->armed = false;
        ++state_->generation;
    }
    state_->cv.notify_all();
}

void HangWatch::OnTestStart(const ::testing::TestInfo& info) {
    Started(std::string(info.test_suite_name()) + "." + info.name());
}

void HangWatch::OnTestEnd(const ::testing::TestInfo&) { Ended(); }

::testing::TestEventListener* StartHangWatch(int seconds) {
    if (seconds <= 0) return new ::testing::EmptyTestEventListener;
    return new HangWatch(std::chrono::seconds(seconds), [seconds](const std::string& test, const std::string& windows) {
        std::fprintf(stdout,
                     "\n[  HUNG    ] %s has not ended within %d s: the program stops here.\n"
                     "Windows on the screen:\n%s",
                     test.c_str(), seconds, windows.c_str());
        std::fflush(stdout);
        std::fflush(stderr);
        // Nothing of the hung program may run on: no handler at exit, no
        // library detach that could wait for the stuck thread.
#ifdef _WIN32
        TerminateProcess(GetCurrentProcess(), 3);
#endif
        std::_Exit(3);
    });
}

} // namespace tw::test
