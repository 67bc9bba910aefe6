#include "bench/bench_options.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace bench {

namespace {

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ','))
        if (!item.empty())
            items.push_back(item);
    return items;
}

// The known things whose names are listed in text, in the order given.
template <typename T, typename NameOf>
std::vector<T> Selected(const std::string& option, const std::string& text, const std::vector<T>& known,
                        NameOf nameOf) {
    std::vector<T> selected;
    for (const std::string& name : SplitList(text)) {
        const auto found =
            std::find_if(known.begin(), known.end(), [&](const T& item) { return nameOf(item) == name; });
        if (found == known.end())
            throw std::invalid_argument(option + ": unknown value \"" + name + "\"");
        selected.push_back(*found);
    }
    if (selected.empty())
        throw std::invalid_argument(option + ": give at least one value");
    return selected;
}

const std::vector<EngineKind> kEngines{EngineKind::Sqlite, EngineKind::Postgres};
const std::vector<CaseKind> kCases{CaseKind::Agency, CaseKind::Client, CaseKind::Queue};

}  // namespace

int BenchOptions::RepetitionsFor(const DatasetSize& size) const {
    if (repetitions > 0)
        return repetitions;
    return size.name == "large" ? 1 : 3;
}

BenchOptions TakeBenchOptions(int& argc, char** argv) {
    BenchOptions options;
    options.sizes = {KnownSizes()[0], KnownSizes()[1]};
    options.engines = kEngines;
    options.cases = kCases;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : argument.substr(equals + 1);
        if (name == "--sizes") {
            options.sizes = Selected(name, value, KnownSizes(), [](const DatasetSize& s) { return s.name; });
        } else if (name == "--engines") {
            options.engines = Selected(name, value, kEngines, EngineName);
        } else if (name == "--cases") {
            options.cases = Selected(name, value, kCases, CaseName);
        } else if (name == "--repetitions") {
            options.repetitions = std::stoi(value);
            if (options.repetitions < 1)
                throw std::invalid_argument("--repetitions: give a number of 1 or more");
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    return options;
}

std::string BenchUsage() {
    return "Usage: kestrane_bench [--sizes=small,medium,large] [--engines=sqlite,postgresql]\n"
           "                      [--cases=agency,client,queue] [--repetitions=N] [--benchmark_...]\n"
           "  Times KSProcessDisqualificationsQueue on generated data beside set-based SQL and, on\n"
           "  PostgreSQL, the libpq round-trip floor. Defaults: sizes small,medium; both engines; all "
           "cases;\n"
           "  3 repetitions (1 on large). Datasets are cached in $KESTRANE_BENCH_DIR (default\n"
           "  <build>/bench-data). The server comes from KESTRANE_TEST_PG_HOST/PORT (./build.sh bench).\n";
}

}  // namespace bench
