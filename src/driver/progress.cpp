#include "driver/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tivarne {
namespace {

using namespace std::chrono_literals;

// A phase that ends within the first half second shows nothing; after that
// the line is redrawn at most five times a second.
constexpr Progress::Clock::duration kFirstDraw = 500ms;
constexpr Progress::Clock::duration kRedraw = 200ms;

int terminal_width(int fd) {
    struct winsize ws {};
    if (ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

void write_all(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;  // a progress line is not worth failing the run for
        p += w;
        left -= static_cast<std::size_t>(w);
    }
}

// 950 -> "950", 12345 -> "12.3 k", 4.6e6 -> "4.6 M".
std::string amount(double v) {
    static const char* const kSuffix[] = {"", " k", " M", " G", " T"};
    int s = 0;
    while (v >= 999.95 && s < 4) {
        v /= 1000;
        ++s;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, s == 0 ? "%.0f%s" : "%.1f%s", v, kSuffix[s]);
    return buf;
}

// 75 -> "1:15", 4000 -> "1:06:40".
std::string duration(double seconds) {
    const long long t = static_cast<long long>(std::ceil(seconds));
    char buf[32];
    if (t >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", t / 3600, t / 60 % 60, t % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", t / 60, t % 60);
    return buf;
}

}  // namespace

bool Progress::shown() {
    // A terminal that cannot erase a line (TERM=dumb, as in editor shells)
    // would pile the redrawn lines up: no progress there.
    const char* term = std::getenv("TERM");
    return ::isatty(2) == 1 && !(term && std::strcmp(term, "dumb") == 0);
}

Progress::Progress(const char* phase, std::int64_t total, const char* unit, bool bounded)
    : Progress(phase, total, unit, bounded, Target{2, 0, kRedraw, kFirstDraw}) {}

Progress::Progress(const char* phase, std::int64_t total, const char* unit, bool bounded,
                   const Target& target)
    : phase_(phase),
      total_(total),
      unit_(unit),
      bounded_(bounded),
      enabled_(target.fd != 2 || shown()),
      fd_(target.fd),
      interval_(target.interval),
      start_(Clock::now()),
      next_draw_(start_ + target.delay) {
    if (!enabled_) return;
    width_ = target.width > 0 ? target.width : terminal_width(fd_);
    // Whatever the run printed so far reaches the terminal before the line.
    std::fflush(stdout);
}

Progress::~Progress() { finish(); }

void Progress::set(std::int64_t done) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now < next_draw_) return;
    next_draw_ = now + interval_;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    write_all(fd_, "\r" + format_line(phase_, done, total_, unit_, bounded_, seconds, width_) +
                       "\033[K");
    drawn_ = true;
}

void Progress::finish() {
    if (!enabled_) return;
    if (drawn_) write_all(fd_, "\r\033[K");
    drawn_ = false;
    enabled_ = false;
}

std::string Progress::format_line(const char* phase, std::int64_t done, std::int64_t total,
                                  const char* unit, bool bounded, double seconds, int width) {
    if (done > total) done = total;
    if (done < 0) done = 0;
    const int percent = total > 0 ? static_cast<int>(100 * static_cast<double>(done) / total) : 100;
    char head[64];
    std::snprintf(head, sizeof head, "%3d%%", percent);
    std::string line = std::string(phase) + "  " + head;
    if (done > 0 && seconds > 0) {
        const double rate = done / seconds;
        line += "  " + amount(rate) + " " + unit + "/s";
        const double left = static_cast<double>(total - done) / rate;
        line += std::string("  ") + (bounded ? "at most " : "") + duration(left) + " left";
    } else {
        line += "  " + amount(static_cast<double>(total)) + " " + unit;
    }
    const std::size_t room = width > 1 ? static_cast<std::size_t>(width - 1) : 0;
    if (line.size() > room) line.resize(room);
    return line;
}

}  // namespace tivarne
