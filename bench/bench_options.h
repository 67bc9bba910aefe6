#pragma once
// The bench's own command-line options; the rest goes to Google Benchmark.

#include "bench/case_state.h"
#include "bench/dataset.h"

#include <string>
#include <vector>

namespace bench {

struct BenchOptions {
    std::vector<DatasetSize> sizes;   // --sizes=small,medium,large (default small,medium)
    std::vector<EngineKind> engines;  // --engines=sqlite,postgresql (default both)
    std::vector<CaseKind> cases;      // --cases=agency,client,queue (default all three)
    int repetitions = 0;              // --repetitions=N; 0: 3 on small and medium, 1 on large
    bool help = false;                // --help

    // The repetitions of a case on size.
    int RepetitionsFor(const DatasetSize& size) const;
};

// Takes the bench's options out of argv and leaves the others in order. Raises std::invalid_argument for a
// value it does not know.
BenchOptions TakeBenchOptions(int& argc, char** argv);

// The usage text of the bench's options.
std::string BenchUsage();

}  // namespace bench
