#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Exceptions.h"
#include "base/Lock.h"
#include "base/Sync.h"
#include "base/Thread.h"

using namespace tw;

TEST(Synchronize, ThousandsOfCallsFromSeveralWorkersAllRunOnTheMainThread) {
    const int workers = 6, perWorker = 1500;
    std::atomic<int> finished{0};
    int ran = 0; // touched only on the main thread
    bool allOnMain = true;
    std::vector<std::thread> ts;
    for (int w = 0; w < workers; ++w)
        ts.emplace_back([&] {
            for (int i = 0; i < perWorker; ++i)
                Synchronize([&] {
                    ++ran;
                    allOnMain = allOnMain && IsMainThread();
                });
            ++finished;
        });
    EXPECT_TRUE(WaitServicing([&] { return finished.load() == workers; }, 60000));
    for (auto& t : ts) t.join();
    EXPECT_EQ(ran, workers * perWorker);
    EXPECT_TRUE(allOnMain);
}

TEST(Synchronize, ExceptionsReachTheCallerAndOnMainRunsInline) {
    int inline_ran = 0;
    Synchronize([&] { ++inline_ran; });
    EXPECT_EQ(inline_ran, 1);
    std::atomic<bool> caught{false}, done{false};
    std::thread t([&] {
        try {
            Synchronize([] { throw EAbort("stop"); });
        } catch (const EAbort&) {
            caught = true;
        }
        done = true;
    });
    WaitServicing([&] { return done.load(); });
    t.join();
    EXPECT_TRUE(caught);
}

namespace {
class TSyncingThread : public TThread {
public:
    std::atomic<int> calls{0};
    int onMain = 0;

protected:
    void Execute() override {
        while (!Terminated()) {
            Synchronize([this] { onMain += IsMainThread() ? 1 : 0; });
            ++calls;
        }
    }
};
} // namespace

TEST(Thread, WaitForServicesHandOversSoItCannotDeadlock) {
    TSyncingThread t;
    t.Start();
    WaitServicing([&] { return t.calls.load() >= 50; }, 30000);
    t.Terminate();
    t.WaitFor(); // the worker may sit inside Synchronize right now
    EXPECT_GE(t.calls.load(), 50);
    EXPECT_EQ(t.onMain, t.calls.load());
}

namespace {
// Runs until released; says when it is destroyed.
class TStuckThread : public TThread {
public:
    TStuckThread(std::shared_ptr<TEvent> release, std::shared_ptr<std::atomic<bool>> gone)
        : release_(std::move(release)), gone_(std::move(gone)) {}
    ~TStuckThread() override { *gone_ = true; }

protected:
    void Execute() override { release_->WaitFor(-1); }

private:
    std::shared_ptr<TEvent> release_;
    std::shared_ptr<std::atomic<bool>> gone_;
};
} // namespace

// A thread that cannot be waited for is left to free itself; one that has
// ended already stays its owner's to join.
TEST(Thread, AThreadGivenUpFreesItselfWhenItEnds) {
    auto release = std::make_shared<TEvent>(true);
    auto gone = std::make_shared<std::atomic<bool>>(false);
    auto* stuck = new TStuckThread(release, gone);
    stuck->Start();
    ASSERT_TRUE(stuck->FreeOnEnd());
    EXPECT_FALSE(*gone);
    release->SetEvent();
    EXPECT_TRUE(WaitServicing([&] { return gone->load(); }, 60000));

    auto ended = std::make_shared<std::atomic<bool>>(false);
    {
        TStuckThread done(release, ended); // the event stays set: ends at once
        done.Start();
        ASSERT_TRUE(WaitServicing([&] { return done.Finished(); }, 60000));
        EXPECT_FALSE(done.FreeOnEnd());
        done.WaitFor();
        EXPECT_FALSE(*ended);
    }
    EXPECT_TRUE(*ended);
}

namespace {
// Leaves the test executable's registration as its main made it.
struct TUnregistered {
    TUnregistered() { ClearMainThread(); }
    ~TUnregistered() { SetMainThread(); }
};

class TIdleThread : public TThread {
protected:
    void Execute() override {}
};
} // namespace

TEST(MainThread, WithoutARegistrationEveryQuestionFailsAndNoWorkerTakesOver) {
    {
        TUnregistered none;
        // A worker that hands over first must not become the UI thread.
        std::string workerError;
        std::thread w([&] {
            try {
                Synchronize([] {});
            } catch (const EThreadError& e) {
                workerError = e.what();
            }
        });
        w.join();
        EXPECT_NE(workerError.find("SetMainThread"), std::string::npos) << workerError;
        EXPECT_THROW(IsMainThread(), EThreadError);
        EXPECT_THROW(CheckSynchronize(), EThreadError);
        EXPECT_THROW(Queue([] {}), EThreadError);
        TIdleThread t;
        EXPECT_THROW(t.Start(), EThreadError);
        EXPECT_FALSE(t.Started());
    }
    EXPECT_TRUE(IsMainThread());
}

TEST(MainThread, OtherThreadsNeverRunTheHandOversOfTheUserInterfaceThread) {
    int ran = 0; // touched only on the main thread
    Queue([&] { ++ran; });
    bool workerRan = true, workerIsMain = true;
    std::thread w([&] {
        workerIsMain = IsMainThread();
        workerRan = CheckSynchronize();
    });
    w.join();
    EXPECT_FALSE(workerIsMain);
    EXPECT_FALSE(workerRan);
    EXPECT_EQ(ran, 0);
    EXPECT_TRUE(CheckSynchronize());
    EXPECT_EQ(ran, 1);
}

TEST(Event, AutoResetReleasesOneWaitAndTimesOut) {
    TEvent e;
    EXPECT_FALSE(e.WaitFor(10));
    e.SetEvent();
    EXPECT_TRUE(e.WaitFor(0));
    EXPECT_FALSE(e.WaitFor(0)); // reset itself
    TEvent m(true);
    m.SetEvent();
    EXPECT_TRUE(m.WaitFor(0));
    EXPECT_TRUE(m.WaitFor(0));
}

// Two threads hand a token back and forth many times: a lost wake-up hangs
// the test, a wake-up without the lock's protection breaks the count.
TEST(LockAndCondition, PingPongLosesNoWakeUpAndTimesOutWhenNobodyCalls) {
    TLock lock;
    TCondition cv;
    int turn = 0, rounds = 0;
    constexpr int kRounds = 20000;
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i) {
            std::unique_lock<TLock> lk(lock);
            cv.wait(lk, [&] { return turn == 1; });
            turn = 0;
            ++rounds;
            cv.notify_all();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        std::unique_lock<TLock> lk(lock);
        cv.wait(lk, [&] { return turn == 0; });
        turn = 1;
        cv.notify_one();
    }
    other.join();
    EXPECT_EQ(rounds, kRounds);

    std::unique_lock<TLock> lk(lock);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(cv.wait_for(lk, std::chrono::milliseconds(30), [] { return false; }));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(25));
    EXPECT_TRUE(lk.owns_lock());
    EXPECT_EQ(cv.wait_for(lk, std::chrono::milliseconds(5)), std::cv_status::timeout);
    EXPECT_TRUE(cv.wait_for(lk, std::chrono::milliseconds(0), [] { return true; }));
}

TEST(LockAndCondition, LockExcludesOtherThreads) {
    TLock lock;
    std::unique_lock<TLock> lk(lock);
    bool got = true;
    std::thread([&] { got = lock.try_lock(); }).join();
    EXPECT_FALSE(got);
    lk.unlock();
    std::thread([&] {
        got = lock.try_lock();
        if (got) lock.unlock();
    }).join();
    EXPECT_TRUE(got);
    long counter = 0;
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < 50000; ++i) {
                std::lock_guard<TLock> g(lock);
                ++counter;
            }
        });
    for (auto& t : workers) t.join();
    EXPECT_EQ(counter, 4 * 50000);
}
