#include "driver/progress.h"

#include <chrono>
#include <cstdio>

#include "support/test_support.h"

namespace tivarne {
namespace {

using namespace std::chrono_literals;

// A scratch file standing in for the terminal.
struct Screen {
    std::FILE* f = std::tmpfile();
    ~Screen() { std::fclose(f); }
    int fd() const { return fileno(f); }
    std::string text() const { return test::read_file("/proc/self/fd/" + std::to_string(fd())); }
};

const std::string kErase = "\r\033[K";

TEST(Progress, DrawsAtMostOncePerIntervalAfterTheFirstDelayAndErasesTheLineAtTheEnd) {
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

    // A phase that ends before the first draw leaves the screen untouched:
    // not even an erase.
    Screen quiet_screen, slow_screen;
    {
        Progress quiet("reading expressions", 100, "values", false, {quiet_screen.fd(), 80, 0s, 1h});
        for (int i = 0; i < 100; ++i) quiet.set(i);
    }
    EXPECT_EQ(quiet_screen.text(), "");
    // Redrawn at most once per interval: here at the first call only.
    Progress slow("scoring pairs", 1000, "pairs", false, {slow_screen.fd(), 80, 1h, 0s});
    for (int i = 0; i < 1000; ++i) slow.set(i);
    EXPECT_EQ(slow_screen.text(), "\rscoring pairs    0%  1.0 k pairs\033[K");
    slow.finish();
    slow.finish();
    EXPECT_EQ(slow_screen.text(), "\rscoring pairs    0%  1.0 k pairs\033[K" + kErase);
}

TEST(ProgressLine, RateTimeLeftWidthAndBounds) {
    const auto line = [](std::int64_t done, std::int64_t total, double seconds, int width = 80) {
        return Progress::format_line("scoring pairs", done, total, "pairs", false, seconds, width);
    };
    // 25 of 100 in 10 s: 2.5 per second, 75 left take 30 s.
    EXPECT_EQ(line(25, 100, 10), "scoring pairs   25%  2 pairs/s  0:30 left");
    EXPECT_EQ(line(1000000, 4600000, 2), "scoring pairs   21%  500.0 k pairs/s  0:08 left");
    // Rates switch to thousands where one decimal would round up to 1000.
    EXPECT_EQ(line(99994, 200000, 100), "scoring pairs   49%  1000 pairs/s  1:41 left");
    EXPECT_EQ(line(99995, 200000, 100), "scoring pairs   49%  1.0 k pairs/s  1:41 left");
    EXPECT_EQ(line(12345678, 1073741824, 3, 25), "scoring pairs    1%  4.1");  // width - 1: no wrap
    // Counts past the total (a last block added twice) never show over 100%.
    EXPECT_EQ(line(120, 100, 1), "scoring pairs  100%  100 pairs/s  0:00 left");
    EXPECT_EQ(line(0, 0, 1), "scoring pairs  100%  0 pairs");
    // A phase that may stop early shows the time left as a bound.
    EXPECT_EQ(Progress::format_line("selecting pairs", 1, 7201, "ranks", true, 1, 80),
              "selecting pairs    0%  1 ranks/s  at most 2:00:00 left");
    // Nothing done yet: no rate to speak of, only the amount of work.
    EXPECT_EQ(Progress::format_line("reading expressions", 0, 115938, "values", false, 0.5, 80),
              "reading expressions    0%  115.9 k values");
}

}  // namespace
}  // namespace tivarne
