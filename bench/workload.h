// Loading the generated benchmark workloads.
#pragma once

#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

// The whole file, or an empty string after telling the benchmark to skip.
inline std::string loadWorkload(benchmark::State &state, const char *name) {
    const std::string path = std::string(VERSIT_WORKLOAD_DIR) + "/" + name;
    std::string text;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buffer[1 << 16];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    if (text.empty()) state.SkipWithError(("workload missing: " + path).c_str());
    return text;
}
