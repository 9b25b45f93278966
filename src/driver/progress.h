#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace tivarne {

// A live progress line for one long phase: "scoring pairs  42%  3.1 M pairs/s
// 0:12 left", redrawn on standard error at most five times a second and
// erased when the phase ends. It is shown only when standard error is a
// terminal (see shown()); otherwise every call is one test of a flag and
// nothing is written, so the console transcript never changes. The library
// reports progress on one thread, so one thread draws.
class Progress {
public:
    using Clock = std::chrono::steady_clock;

    // `unit` names what is counted ("values", "pairs", "ranks"). With
    // `bounded`, `total` is only the most work the phase may do (it can stop
    // early), and the time left is shown as an upper bound.
    Progress(const char* phase, std::int64_t total, const char* unit, bool bounded = false);
    // Erases the line, also when the phase ends by an exception.
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void set(std::int64_t done);
    // Erases the line now (the destructor then does nothing).
    void finish();

    // Whether progress is shown: standard error is a terminal, and not one
    // that calls itself dumb.
    static bool shown();

    // For tests: write to `fd` as if it were a terminal of `width` columns,
    // redraw at most every `interval`, the first time after `delay`.
    struct Target {
        int fd;
        int width;
        Clock::duration interval;
        Clock::duration delay;
    };
    Progress(const char* phase, std::int64_t total, const char* unit, bool bounded,
             const Target& target);

    // The text of one progress line (no control characters), cut to at most
    // `width` - 1 characters so that it never wraps.
    static std::string format_line(const char* phase, std::int64_t done, std::int64_t total,
                                   const char* unit, bool bounded, double seconds, int width);

private:
    const char* phase_;
    std::int64_t total_;
    const char* unit_;
    bool bounded_;
    bool enabled_;
    int fd_ = 2;
    int width_ = 80;
    Clock::duration interval_;
    Clock::time_point start_;
    Clock::time_point next_draw_;
    bool drawn_ = false;
};

}  // namespace tivarne
