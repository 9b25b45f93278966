#pragma once
// Bounded buffers of the best scores one thread has seen.
#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "selection/selection.h"

namespace tivarne {

// The `capacity` highest scores offered (at most kMostKept of them), as a
// heap with the lowest on top.
class TopScores {
public:
    static constexpr std::size_t kMostKept = std::size_t{1} << 22;

    explicit TopScores(std::size_t capacity) : capacity_(capacity) {}
    // A pair below the cut cannot be among the best.
    double cut() const { return heap_.size() < capacity_ ? -std::numeric_limits<double>::infinity() : heap_.front().score; }
    void offer(const Candidate& c) {
        const auto lower = [](const Candidate& a, const Candidate& b) { return a.score > b.score; };
        if (heap_.size() < capacity_ && heap_.size() == kMostKept) {
            overflow_ = true;
        } else if (heap_.size() < capacity_) {
            heap_.push_back(c);
            std::push_heap(heap_.begin(), heap_.end(), lower);
        } else if (c.score > heap_.front().score) {
            std::pop_heap(heap_.begin(), heap_.end(), lower);
            heap_.back() = c;
            std::push_heap(heap_.begin(), heap_.end(), lower);
        }
    }
    const std::vector<Candidate>& items() const { return heap_; }
    // More were offered than can be kept.
    bool overflow() const { return overflow_; }

private:
    std::size_t capacity_;
    std::vector<Candidate> heap_;
    bool overflow_ = false;
};

// The candidates of several threads' buffers, best first.
template <class PerThread, class Get>
std::vector<Candidate> best_first(const std::vector<PerThread>& threads, Get get) {
    std::vector<Candidate> all;
    for (const PerThread& t : threads) {
        const std::vector<Candidate>& items = get(t).items();
        all.insert(all.end(), items.begin(), items.end());
    }
    std::sort(all.begin(), all.end(), higher_score);
    return all;
}

// Scores of pairs that were at or above a cut when seen; those that fall
// below a later cut are dropped from time to time. Given up (overflow) beyond
// kMostBuffered.
struct ScoreBuffer {
    static constexpr std::size_t kMostBuffered = std::size_t{1} << 22;

    std::vector<double> values;
    std::size_t prune_at = 1 << 16;
    bool overflow = false;

    void add(double score) {
        if (!overflow) values.push_back(score);
    }
    void prune(double cut) {
        if (overflow || values.size() < prune_at) return;
        values.erase(std::remove_if(values.begin(), values.end(), [cut](double v) { return v < cut; }), values.end());
        prune_at = std::max<std::size_t>(2 * values.size(), 1 << 16);
        if (values.size() > kMostBuffered) {
            overflow = true;
            std::vector<double>().swap(values);
        }
    }
    bool contains(double score) const { return std::find(values.begin(), values.end(), score) != values.end(); }
    std::int64_t count_above(double score) const {
        return std::count_if(values.begin(), values.end(), [score](double s) { return s > score; });
    }
};

}  // namespace tivarne
