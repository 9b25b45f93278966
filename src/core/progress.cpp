#include "core/progress.h"

#include "core/messages.h"

#include <omp.h>

namespace tivarne {

ProgressReporter::ProgressReporter(const ProgressCallback& callback)
    : callback_(callback), owner_(std::this_thread::get_id()) {}

void ProgressReporter::begin(Phase phase, std::int64_t total) {
    phase_ = phase;
    total_ = total;
    done_.store(0, std::memory_order_relaxed);
    next_ = std::chrono::steady_clock::time_point{};
    report(0, false);
}

void ProgressReporter::end() { report(done_.load(std::memory_order_relaxed), true); }

void ProgressReporter::report(std::int64_t done, bool finished) {
    if (!callback_ || stopped()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!finished && done != 0 && now < next_) return;
    next_ = now + kInterval;
    bool go_on = false;
    try {
        go_on = callback_(ProgressUpdate{phase_, done, total_, finished});
    } catch (...) {
        thrown_ = std::current_exception();
    }
    if (!go_on) stop_.store(true, std::memory_order_relaxed);
}

void ProgressReporter::check() const {
    if (!stopped()) return;
    if (thrown_) std::rethrow_exception(thrown_);
    throw Error(Error::Kind::Cancelled, message::kCancelled);
}

int thread_count(int requested) { return requested > 0 ? requested : omp_get_max_threads(); }

}  // namespace tivarne
