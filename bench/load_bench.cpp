// The load alone, timed: load_bench EXPR LABELS [REPEATS]. Runs load_dataset
// (the size scan, the expression file, the labels) REPEATS times (default 5)
// and prints each wall time, their median and the peak RSS of the process.
// The threads are OpenMP's default (OMP_NUM_THREADS).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tivarne/io.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s EXPR LABELS [REPEATS]\n", argv[0]);
        return 2;
    }
    const int repeats = argc > 3 ? std::atoi(argv[3]) : 5;
    std::vector<double> seconds;
    try {
        for (int i = 0; i < repeats; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const tivarne::Dataset data = tivarne::load_dataset(argv[1], argv[2]);
            seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            std::printf("%.3f ", seconds.back());
        }
    } catch (const tivarne::Error& e) {
        std::fprintf(stderr, "Error: %s\n", e.what());
        return 1;
    }
    std::sort(seconds.begin(), seconds.end());
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("s; median %.3f s, peak %ld MiB\n", seconds[seconds.size() / 2], usage.ru_maxrss / 1024);
    return 0;
}
