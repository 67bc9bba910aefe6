#include "bench/case_benchmark.h"

#include "bench/catalog_sessions.h"
#include "bench/lower_bound.h"
#include "bench/program_run.h"

#include <benchmark/benchmark.h>

#include <iostream>
#include <optional>
#include <stdexcept>

namespace bench {

namespace {

// Runs the program once on the restored state; the sessions it opened when on the server.
ChildOutcome MeasureProgram(const Dataset& dataset, const Workspace& workspace, const CaseTarget& target,
                            Measurement& measurement) {
    RestoreState(dataset, target);
    std::optional<CatalogSessions> sessions;
    long long before = 0;
    if (dataset.server) {
        sessions.emplace(*dataset.server);
        before = sessions->SettledCount();
    }
    const ChildOutcome outcome = RunQueueProcessor(dataset, workspace);
    if (sessions)
        measurement.sessions = sessions->SettledCount() - before;
    if (outcome.exitStatus != 0) {
        throw std::runtime_error("the program exited with status " + std::to_string(outcome.exitStatus) +
                                 ": " + ProgramErrorTail(dataset));
    }
    if (dataset.OpenMain()->QueryNumber("SELECT COUNT(*) FROM disqualifications_queue") != 0)
        throw std::runtime_error("the program left requests in the queue: " + ProgramErrorTail(dataset));
    measurement.programSeconds = outcome.wallSeconds;
    measurement.peakMegabytes = outcome.peakMegabytes;
    return outcome;
}

// Runs one lower bound on the restored state and compares its entries with the program's.
template <typename Rebuild>
double MeasureLowerBound(const char* name, const Dataset& dataset, const CaseTarget& target,
                         const std::vector<Row>& programEntries, Measurement& measurement, Rebuild rebuild) {
    RestoreState(dataset, target);
    const double seconds = rebuild(dataset, target);
    const std::string difference =
        EntryDifference(programEntries, TargetEntries(*dataset.OpenMain(), target));
    if (!difference.empty()) {
        measurement.sameResult = false;
        std::cerr << "DIFFERENCE " << CaseName(target.kind) << "/" << EngineName(dataset.engine) << "/"
                  << dataset.size.name << " against the " << name << ": " << difference << std::endl;
    }
    return seconds;
}

void SetCounters(benchmark::State& state, const Measurement& measurement) {
    state.counters["set_s"] = measurement.setBasedSeconds;
    state.counters["x_set"] = measurement.programSeconds / measurement.setBasedSeconds;
    if (measurement.floorSeconds) {
        state.counters["floor_s"] = *measurement.floorSeconds;
        state.counters["x_floor"] = measurement.programSeconds / *measurement.floorSeconds;
    }
    state.counters["peak_MB"] = measurement.peakMegabytes;
    state.counters["entries"] = static_cast<double>(measurement.entriesAdded);
    if (measurement.sessions)
        state.counters["sessions"] = static_cast<double>(*measurement.sessions);
    state.counters["same"] = measurement.sameResult ? 1 : 0;
}

void RunCase(benchmark::State& state, const BenchCase& chosen, const Workspace& workspace, Summary& summary) {
    Measurement measurement;
    std::optional<Dataset> dataset;
    CaseTarget target;
    try {
        dataset = PrepareDataset(chosen.engine, chosen.size, workspace);
        target = TargetOf(chosen.kind, *dataset);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    for (auto _ : state) {
        try {
            MeasureProgram(*dataset, workspace, target, measurement);
            state.SetIterationTime(measurement.programSeconds);
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            break;
        }
    }
    if (state.error_occurred())
        return;
    try {
        std::vector<Row> programEntries;
        {
            const std::unique_ptr<DirectSql> main = dataset->OpenMain();
            programEntries = TargetEntries(*main, target);
            measurement.entriesAdded = AutomaticEntries(*main, target);
        }
        measurement.setBasedSeconds = MeasureLowerBound("set-based SQL", *dataset, target, programEntries,
                                                        measurement, RebuildSetBased);
        if (dataset->server) {
            measurement.floorSeconds = MeasureLowerBound("round-trip floor", *dataset, target, programEntries,
                                                         measurement, RebuildRoundTripFloor);
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    SetCounters(state, measurement);
    summary.Add({CaseName(chosen.kind), EngineName(chosen.engine), chosen.size.name}, measurement);
}

}  // namespace

void RegisterCaseBenchmark(const BenchCase& chosen, const Workspace& workspace, Summary& summary) {
    const std::string name = CaseName(chosen.kind) + "/" + EngineName(chosen.engine) + "/" + chosen.size.name;
    benchmark::RegisterBenchmark(name.c_str(),
                                 [chosen, &workspace, &summary](benchmark::State& state) {
                                     RunCase(state, chosen, workspace, summary);
                                 })
        ->Iterations(1)
        ->Repetitions(chosen.repetitions)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

}  // namespace bench
