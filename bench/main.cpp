// kestrane_bench: the speed and memory of the queue processor's rebuilds at three sizes, on both engines.
#include "bench/bench_options.h"
#include "bench/case_benchmark.h"
#include "bench/direct_sql.h"
#include "bench/summary.h"
#include "bench/workspace.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <iostream>
#include <stdexcept>

int main(int argc, char** argv) {
    bench::BenchOptions options;
    try {
        options = bench::TakeBenchOptions(argc, argv);
    } catch (const std::logic_error& error) {
        std::cerr << "kestrane_bench: " << error.what() << "\n" << bench::BenchUsage();
        return 2;
    }
    if (options.help) {
        std::cout << bench::BenchUsage() << "\nGoogle Benchmark's own options:\n";
        benchmark::PrintDefaultHelp();
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;

    const bench::Workspace workspace = bench::WorkspaceFromEnvironment();
    auto& engines = options.engines;
    if (!workspace.server && std::erase(engines, bench::EngineKind::Postgres) > 0) {
        std::cout << "PostgreSQL cases skipped: no server (KESTRANE_TEST_PG_HOST is not set; "
                     "./build.sh bench starts one)."
                  << std::endl;
    }
    if (workspace.server) {
        // What the server figures are worth: a server that does not flush its log to disk is not
        // production's.
        const auto settings =
            bench::OpenServerDatabase(*workspace.server, "postgres")
                ->Query("SELECT current_setting('fsync'), current_setting('synchronous_commit')");
        std::cout << "PostgreSQL server: fsync=" << settings.at(0).at(0)
                  << ", synchronous_commit=" << settings.at(0).at(1) << std::endl;
    }
    std::cout << "Datasets in " << workspace.dataRoot.string()
              << ". The program runs on a virtual clock: its fixed pauses are left out of the times."
              << std::endl;

    // Sizes first, so that the server holds each size's dataset once.
    bench::Summary summary;
    for (const bench::DatasetSize& size : options.sizes) {
        for (bench::EngineKind engine : engines) {
            for (bench::CaseKind kind : options.cases)
                bench::RegisterCaseBenchmark({kind, engine, size, options.RepetitionsFor(size)}, workspace,
                                             summary);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    summary.Print(std::cout);
    benchmark::Shutdown();
    return 0;
}
