#include <benchmark/benchmark.h>

// The benchmark runner's own entry point: every bench/*.cpp registers its cases with it.
BENCHMARK_MAIN();
