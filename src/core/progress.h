#pragma once
// Progress of the running phase and the request to stop, shared by the
// threads of a phase. The caller's callback runs only on the thread that
// created the reporter (OpenMP's thread 0 of every parallel region), so a
// front-end may use it to poll its own interpreter or terminal.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <thread>

#include "tivarne/tivarne.h"

namespace tivarne {

class ProgressReporter {
public:
    explicit ProgressReporter(const ProgressCallback& callback);
    ProgressReporter(const ProgressReporter&) = delete;
    ProgressReporter& operator=(const ProgressReporter&) = delete;

    // On the creating thread, outside parallel regions: a new phase with
    // `total` units of work, and its end.
    void begin(Phase phase, std::int64_t total);
    void end();

    // From any thread: `amount` more units done. On the creating thread the
    // callback may run (at most every kInterval).
    void add(std::int64_t amount) {
        if (!callback_) return;
        const std::int64_t done = done_.fetch_add(amount, std::memory_order_relaxed) + amount;
        if (std::this_thread::get_id() == owner_) report(done, false);
    }
    // Whether the callback asked to stop; work loops test it to end early.
    bool stopped() const { return stop_.load(std::memory_order_relaxed); }
    // On the creating thread, outside parallel regions: throws the Cancelled
    // error once a stop was asked for.
    void check() const;

private:
    static constexpr std::chrono::milliseconds kInterval{50};
    void report(std::int64_t done, bool finished);

    const ProgressCallback& callback_;
    const std::thread::id owner_;
    Phase phase_ = Phase::PerGene;
    std::int64_t total_ = 0;
    std::atomic<std::int64_t> done_{0};
    std::atomic<bool> stop_{false};
    std::chrono::steady_clock::time_point next_;
    std::exception_ptr thrown_;
};

// What every parallel phase is given.
struct Context {
    int threads;                 // at least 1
    ProgressReporter& progress;
};

// The thread count of `requested` (0: OpenMP's default).
int thread_count(int requested);

}  // namespace tivarne
