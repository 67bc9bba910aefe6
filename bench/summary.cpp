#include "bench/summary.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace bench {

namespace {

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double MedianOf(const std::vector<Measurement>& repetitions,
                const std::function<double(const Measurement&)>& field) {
    std::vector<double> values;
    for (const Measurement& measurement : repetitions)
        values.push_back(field(measurement));
    return Median(values);
}

std::string Format(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

void Summary::Add(const CaseKey& key, const Measurement& measurement) {
    const auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
        return entry.key.caseName == key.caseName && entry.key.engine == key.engine &&
               entry.key.size == key.size;
    });
    if (found == entries_.end())
        entries_.push_back({key, {measurement}});
    else
        found->repetitions.push_back(measurement);
}

void Summary::Print(std::ostream& out) const {
    if (entries_.empty())
        return;
    char line[256];
    std::snprintf(line, sizeof line, "%-7s %-10s %-7s %4s %10s %10s %8s %10s %8s %8s %9s %8s %6s\n", "case",
                  "engine", "size", "reps", "program s", "set s", "ratio", "floor s", "ratio", "peak MB",
                  "entries", "sessions", "same");
    out << "\nSummary (medians of the repetitions; the program's fixed pauses are left out: virtual clock)\n"
        << line;
    for (const Entry& entry : entries_) {
        const std::vector<Measurement>& reps = entry.repetitions;
        const double program = MedianOf(reps, [](const Measurement& m) { return m.programSeconds; });
        const double setBased = MedianOf(reps, [](const Measurement& m) { return m.setBasedSeconds; });
        const bool onServer = reps.front().floorSeconds.has_value();
        const double floor = MedianOf(reps, [](const Measurement& m) { return m.floorSeconds.value_or(0); });
        const bool same =
            std::all_of(reps.begin(), reps.end(), [](const Measurement& m) { return m.sameResult; });
        std::snprintf(
            line, sizeof line, "%-7s %-10s %-7s %4zu %10.3f %10.4f %8.1f %10s %8s %8.1f %9lld %8s %6s\n",
            entry.key.caseName.c_str(), entry.key.engine.c_str(), entry.key.size.c_str(), reps.size(),
            program, setBased, setBased > 0 ? program / setBased : 0.0,
            onServer ? Format("%.3f", floor).c_str() : "-",
            onServer && floor > 0 ? Format("%.1f", program / floor).c_str() : "-",
            MedianOf(reps, [](const Measurement& m) { return m.peakMegabytes; }), reps.back().entriesAdded,
            reps.back().sessions ? std::to_string(*reps.back().sessions).c_str() : "-", same ? "yes" : "NO");
        out << line;
    }
}

}  // namespace bench
