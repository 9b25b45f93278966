#pragma once
#include <chrono>

namespace tivarne {

// With TIVARNE_TIMING=1 in the environment, each phase's wall time goes to
// standard error as "timing: <phase> <seconds> s"; otherwise nothing is shown.
class PhaseTimer {
public:
    PhaseTimer();
    // Ends the phase that started at the previous call (or at construction).
    void lap(const char* phase);

private:
    bool enabled_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace tivarne
