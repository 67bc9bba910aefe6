#pragma once
// One case on one engine and size as a Google Benchmark: each repetition restores the state, runs the real
// program (the manual time is its wall time), then measures the lower bounds on the same data and checks
// that they leave the same entries.

#include "bench/case_state.h"
#include "bench/dataset.h"
#include "bench/summary.h"
#include "bench/workspace.h"

namespace bench {

struct BenchCase {
    CaseKind kind = CaseKind::Agency;
    EngineKind engine = EngineKind::Sqlite;
    DatasetSize size;
    int repetitions = 1;
};

// Registers the benchmark "<case>/<engine>/<size>"; its repetitions are also recorded in summary, which
// must outlive the run.
void RegisterCaseBenchmark(const BenchCase& chosen, const Workspace& workspace, Summary& summary);

}  // namespace bench
