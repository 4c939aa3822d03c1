#include "bench/BenchApplication.h"

#include <benchmark/benchmark.h>

// The benchmark runner's entry point: every bench/*.cpp registers its cases with it. The
// application object the benches share ends here, before the program's statics, as it would
// on main's stack: destroyed among them, it outlives parts of Qt it still needs.
int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    endBenchApplication();
    return 0;
}
