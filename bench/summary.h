#pragma once
// The plain table printed after the benchmarks: per case, engine and size, the medians of the repetitions.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace bench {

// What one repetition of a case measured.
struct Measurement {
    double programSeconds = 0;
    double peakMegabytes = 0;
    double setBasedSeconds = 0;
    std::optional<double> floorSeconds;  // on the server only
    long long entriesAdded = 0;          // automatic entries of the target after the program's run
    std::optional<long long> sessions;   // server sessions the program opened on its catalog
    bool sameResult = true;              // the lower bounds left the same entries as the program
};

struct CaseKey {
    std::string caseName;
    std::string engine;
    std::string size;
};

class Summary {
public:
    // Records one repetition of the case.
    void Add(const CaseKey& key, const Measurement& measurement);
    // Writes the table, one line per case in the order first recorded.
    void Print(std::ostream& out) const;

private:
    struct Entry {
        CaseKey key;
        std::vector<Measurement> repetitions;
    };
    std::vector<Entry> entries_;
};

}  // namespace bench
