#include "driver/progress.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace tivarne {
namespace {

using namespace std::chrono_literals;

// A scratch file standing in for the terminal.
class Screen {
public:
    Screen() : f_(std::tmpfile()) {}
    ~Screen() { std::fclose(f_); }
    int fd() const { return fileno(f_); }
    std::string text() const {
        std::string s;
        char buf[4096];
        for (off_t at = 0;;) {
            const ssize_t got = pread(fd(), buf, sizeof buf, at);
            if (got <= 0) return s;
            s.append(buf, static_cast<std::size_t>(got));
            at += got;
        }
    }

private:
    std::FILE* f_;
};

const std::string kErase = "\r\033[K";

TEST(Progress, DrawsThePhaseAndErasesTheLineWhenItEnds) {
    Screen screen;
    {
        Progress p("scoring pairs", 200, "pairs", false, {screen.fd(), 80, 0s, 0s});
        p.set(50);
        p.set(150);
    }
    // Each draw: carriage return, the line, erase to its end; a last erase.
    const std::string s = screen.text();
    ASSERT_EQ(s.rfind("\rscoring pairs   25%", 0), 0u) << s;
    EXPECT_NE(s.find("\033[K\rscoring pairs   75%"), std::string::npos) << s;
    EXPECT_EQ(s.substr(s.size() - 2 * kErase.size() + 1), "\033[K" + kErase) << s;
}

TEST(Progress, RedrawsAtMostOncePerIntervalAndNotBeforeTheFirstDelay) {
    Screen screen;
    {
        Progress quiet("reading expressions", 100, "values", false, {screen.fd(), 80, 0s, 1h});
        for (int i = 0; i < 100; ++i) quiet.set(i);
    }
    // A phase that ends before the first draw leaves the screen untouched:
    // not even an erase.
    EXPECT_EQ(screen.text(), "");

    Progress slow("scoring pairs", 1000, "pairs", false, {screen.fd(), 80, 1h, 0s});
    for (int i = 0; i < 1000; ++i) slow.set(i);
    EXPECT_EQ(screen.text(), "\rscoring pairs    0%  1.0 k pairs\033[K");  // drawn at the first call only
    slow.finish();
    slow.finish();
    EXPECT_EQ(screen.text(), "\rscoring pairs    0%  1.0 k pairs\033[K" + kErase);
}

TEST(ProgressLine, ShowsRateAndTimeLeft) {
    // 25 of 100 in 10 s: 2.5 per second, 75 left take 30 s.
    EXPECT_EQ(Progress::format_line("scoring pairs", 25, 100, "pairs", false, 10, 80),
              "scoring pairs   25%  2 pairs/s  0:30 left");
    EXPECT_EQ(Progress::format_line("scoring pairs", 1000000, 4600000, "pairs", false, 2, 80),
              "scoring pairs   21%  500.0 k pairs/s  0:08 left");
    // A phase that may stop early shows the time left as a bound.
    EXPECT_EQ(Progress::format_line("selecting pairs", 1, 7201, "ranks", true, 1, 80),
              "selecting pairs    0%  1 ranks/s  at most 2:00:00 left");
    // Nothing done yet: no rate to speak of, only the amount of work.
    EXPECT_EQ(Progress::format_line("reading expressions", 0, 115938, "values", false, 0.5, 80),
              "reading expressions    0%  115.9 k values");
    // Rates switch to thousands where one decimal would round up to 1000.
    EXPECT_EQ(Progress::format_line("scoring pairs", 99994, 200000, "pairs", false, 100, 80),
              "scoring pairs   49%  1000 pairs/s  1:41 left");
    EXPECT_EQ(Progress::format_line("scoring pairs", 99995, 200000, "pairs", false, 100, 80),
              "scoring pairs   49%  1.0 k pairs/s  1:41 left");
}

TEST(ProgressLine, StaysWithinTheTerminalAndWithinBounds) {
    const std::string line =
        Progress::format_line("scoring pairs", 12345678, 1073741824, "pairs", false, 3, 25);
    EXPECT_EQ(line, "scoring pairs    1%  4.1");
    EXPECT_EQ(line.size(), 24u);  // one column short of the width: no wrap
    // Counts past the total (a last block added twice) never show over 100%.
    EXPECT_EQ(Progress::format_line("scoring pairs", 120, 100, "pairs", false, 1, 80),
              "scoring pairs  100%  100 pairs/s  0:00 left");
    EXPECT_EQ(Progress::format_line("scoring pairs", 0, 0, "pairs", false, 1, 80),
              "scoring pairs  100%  0 pairs");
}

}  // namespace
}  // namespace tivarne
