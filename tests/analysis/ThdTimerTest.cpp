#include "analysis/ThdTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "analysis/AppLog.h"
#include "base/Exceptions.h"
#include "base/Sync.h"
#include "base/SysUtils.h"

using namespace tw;

namespace {

class ThdTimerTest : public ::testing::Test {
protected:
    // Services hand-overs for ms milliseconds, as a busy pass that processes
    // messages would.
    static void Pump(int ms) {
        WaitServicing([] { return false; }, ms);
    }
};

TEST_F(ThdTimerTest, TicksArriveOnTheUserInterfaceThreadWhileItServicesHandOvers) {
    TThreadedTimer t(nullptr);
    t.SetInterval(20);
    std::thread::id ui = std::this_thread::get_id();
    int ticks = 0;
    bool allOnUi = true;
    t.OnTimer = [&](TObject* sender) {
        EXPECT_EQ(sender, &t);
        allOnUi = allOnUi && std::this_thread::get_id() == ui;
        ++ticks;
    };
    t.SetEnabled(true);
    ASSERT_TRUE(WaitServicing([&] { return ticks >= 3; }, 5000));
    EXPECT_TRUE(allOnUi);
    t.SetEnabled(false);
    int after = ticks;
    Pump(150);
    EXPECT_EQ(ticks, after) << "no tick after disabling";
}

TEST_F(ThdTimerTest, OneShotHandlerGetsExactlyOneTick) {
    TThreadedTimer t(nullptr);
    t.SetInterval(10);
    int ticks = 0;
    t.OnTimer = [&](TObject*) {
        t.SetEnabled(false);
        ++ticks;
    };
    t.SetEnabled(true);
    ASSERT_TRUE(WaitServicing([&] { return ticks >= 1; }, 5000));
    Pump(100);
    EXPECT_EQ(ticks, 1);
    // Enabling again gives the next single tick.
    t.SetEnabled(true);
    ASSERT_TRUE(WaitServicing([&] { return ticks >= 2; }, 5000));
    Pump(60);
    EXPECT_EQ(ticks, 2);
}

TEST_F(ThdTimerTest, ZeroIntervalNeedsAllowZero) {
    TThreadedTimer t(nullptr);
    t.SetInterval(0);
    int ticks = 0;
    t.OnTimer = [&](TObject*) { ++ticks; };
    t.SetEnabled(true);
    EXPECT_TRUE(t.Enabled());
    Pump(80);
    EXPECT_EQ(ticks, 0);

    TThreadedTimer z(nullptr);
    z.SetAllowZero(true);
    z.SetInterval(0);
    int zt = 0;
    z.OnTimer = [&](TObject*) {
        if (++zt == 5) z.SetEnabled(false);
    };
    z.SetEnabled(true);
    EXPECT_TRUE(WaitServicing([&] { return zt >= 5; }, 5000));
}

TEST_F(ThdTimerTest, ChangingTheIntervalRestartsARunningTimerAndOnlyStoresOnAStoppedOne) {
    // A stopped timer only stores the interval: it neither starts nor ticks.
    TThreadedTimer stopped(nullptr);
    stopped.SetInterval(300);
    EXPECT_EQ(stopped.Interval(), 300u);
    EXPECT_FALSE(stopped.Enabled());
    int stoppedTicks = 0;
    stopped.OnTimer = [&](TObject*) { ++stoppedTicks; };
    stopped.SetInterval(1);
    EXPECT_FALSE(stopped.Enabled());

    // A running timer whose first tick lies a minute away: no tick can come
    // before the change, however slow the machine.
    TThreadedTimer t(nullptr);
    t.SetInterval(60000);
    int ticks = 0;
    uint64_t firstAt = 0;
    t.OnTimer = [&](TObject*) {
        if (ticks++ == 0) firstAt = GetTickCount64Ms();
    };
    const uint64_t start = GetTickCount64Ms();
    t.SetEnabled(true);
    // Some time passes on the running interval (at least 150 ms, measured).
    WaitServicing([&] { return GetTickCount64Ms() - start >= 150; }, 5000);
    ASSERT_EQ(ticks, 0);
    // Changed while running: the new interval counts from now. Kept in step
    // with the old start it would end at once (150 ms already passed); not
    // restarted at all it would wait the old minute.
    const uint64_t restart = GetTickCount64Ms();
    t.SetInterval(300);
    EXPECT_TRUE(t.Enabled());
    EXPECT_EQ(t.Interval(), 300u);
    ASSERT_TRUE(WaitServicing([&] { return ticks >= 1; }, 10000)) << "no tick after the change";
    // Signed: a tick before the restart must fail here, not wrap round to a
    // huge unsigned difference. The clock's granularity (about 16 ms) is
    // the only allowance.
    const int64_t sinceRestart = static_cast<int64_t>(firstAt) - static_cast<int64_t>(restart);
    EXPECT_GE(sinceRestart, 300 - 20) << "started " << static_cast<int64_t>(restart) - static_cast<int64_t>(start)
                                      << " ms after enabling";
    EXPECT_EQ(stoppedTicks, 0);
}

TEST_F(ThdTimerTest, TheWorkerNeverBecomesTheUserInterfaceThread) {
    // Once a timer's worker asked first and so became the "UI thread": it ran
    // its ticks itself and the real UI thread was left answering false.
    {
        ClearMainThread();
        TThreadedTimer t(nullptr);
        t.SetInterval(1);
        int ticks = 0;
        t.OnTimer = [&](TObject*) { ++ticks; };
        EXPECT_THROW(t.SetEnabled(true), EThreadError); // no worker without a UI thread
        SetMainThread();
        EXPECT_EQ(ticks, 0);
    }
    TThreadedTimer t(nullptr);
    t.SetInterval(1);
    int ticks = 0;
    bool tickOnMain = true;
    t.OnTimer = [&](TObject*) {
        tickOnMain = tickOnMain && IsMainThread();
        ++ticks;
    };
    t.SetEnabled(true);
    ASSERT_TRUE(WaitServicing([&] { return ticks >= 3; }, 5000));
    t.SetEnabled(false);
    EXPECT_TRUE(tickOnMain);
    EXPECT_TRUE(IsMainThread());
}

TEST_F(ThdTimerTest, DestroyingWhileTheWorkerWaitsInsideAHandOverDoesNotDeadlock) {
    int ticks = 0;
    auto* t = new TThreadedTimer(nullptr);
    t->SetInterval(5);
    t->OnTimer = [&](TObject*) { ++ticks; };
    // The worker wakes the user-interface thread when it has queued its
    // hand-over: from then on it is blocked inside Synchronize. This test
    // executable has no waker of its own, so none is lost by setting one.
    std::mutex m;
    std::condition_variable cv;
    bool queued = false;
    SetWakeMainThread([&] {
        std::lock_guard<std::mutex> lk(m);
        queued = true;
        cv.notify_all();
    });
    t->SetEnabled(true);
    bool blocked = false;
    {
        // Do not service: wait until the worker is blocked in the hand-over.
        std::unique_lock<std::mutex> lk(m);
        blocked = cv.wait_for(lk, std::chrono::seconds(5), [&] { return queued; });
    }
    SetWakeMainThread(nullptr);
    EXPECT_TRUE(blocked) << "the worker never handed a tick over";
    delete t; // services the pending hand-over, which must not tick
    EXPECT_EQ(ticks, 0);
    Pump(30);
    EXPECT_EQ(ticks, 0);
}

// A timer that says when it is destroyed.
class TWatchedTimer : public TThreadedTimer {
public:
    TWatchedTimer(TComponent* owner, bool& destroyed) : TThreadedTimer(owner), destroyed_(destroyed) {}
    ~TWatchedTimer() override { destroyed_ = true; }

private:
    bool& destroyed_;
};

TEST_F(ThdTimerTest, OwnerDestroysItsTimersAndAThrowingHandlerDoesNotStopTheTimer) {
    ClearLog();
    bool destroyed = false;
    int calls = 0;
    {
        TComponent owner(nullptr);
        auto* t = new TWatchedTimer(&owner, destroyed);
        t->SetName("Ticker");
        t->SetInterval(10);
        t->OnTimer = [&](TObject*) {
            ++calls;
            throw EConvertError("bad");
        };
        t->SetEnabled(true);
        // Thrown twice, still ticking; each throw reaches the log.
        EXPECT_TRUE(WaitServicing([&] { return calls >= 2; }, 5000));
        EXPECT_TRUE(t->Enabled());
        EXPECT_EQ(owner.ComponentCount(), 1);
        EXPECT_EQ(owner.Components(0), t);
        EXPECT_FALSE(destroyed);
    }
    // The owner took its running timer with it: destroyed, and no tick
    // reaches the handler any more.
    EXPECT_TRUE(destroyed);
    const int after = calls;
    Pump(60);
    EXPECT_EQ(calls, after);
    int logged = 0;
    for (const std::string& line : LogLines())
        logged += line.find("Ticker") != std::string::npos && line.find("bad") != std::string::npos;
    EXPECT_GE(logged, 2);
    ClearLog();
}

} // namespace
