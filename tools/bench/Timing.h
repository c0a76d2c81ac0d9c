// Timing shared by the benchmarks: a high-resolution clock, the best of several runs, and one
// report line with the ratio of two measurements taken side by side.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace bench {

inline double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        if (!::QueryPerformanceFrequency(&f)) f.QuadPart = 1;
        return f;
    }();
    LARGE_INTEGER t;
    if (!::QueryPerformanceCounter(&t)) return 0;
    return double(t.QuadPart) / double(frequency.QuadPart);
}

// The best of several runs, in milliseconds; f returns a value that is kept so that the work
// cannot be optimised away.
template <typename F>
double Best(F&& f, int64_t& sink) {
    double best = 1e30;
    for (int run = 0; run < 7; ++run) {
        const double start = Now();
        sink += f();
        const double elapsed = (Now() - start) * 1000;
        if (elapsed < best) best = elapsed;
    }
    return best;
}

inline void Report(const char* what, double ours, const char* theirsName, double theirs) {
    std::printf("%-34s %9.2f ms   %-34s %9.2f ms   ratio %.2f\n", what, ours, theirsName, theirs,
                theirs > 0 ? ours / theirs : 0.0);
}

}  // namespace bench
