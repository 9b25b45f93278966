#include "driver/timing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tivarne {

PhaseTimer::PhaseTimer() : start_(std::chrono::steady_clock::now()) {
    const char* v = std::getenv("TIVARNE_TIMING");
    enabled_ = v != nullptr && std::strcmp(v, "1") == 0;
}

void PhaseTimer::lap(const char* phase) {
    const auto now = std::chrono::steady_clock::now();
    if (enabled_)
        std::fprintf(stderr, "timing: %s %.3f s\n", phase,
                     std::chrono::duration<double>(now - start_).count());
    start_ = now;
}

}  // namespace tivarne
