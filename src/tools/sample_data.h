#pragma once
// Realistic sample data for the product's tables: clients, court charges with offence flags, cases, criminal
// history, agencies with refusal flags, manual and stale automatic blacklist entries. The same seed and sizes
// always give the same rows.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace tools {

struct SampleSizes {
    int32_t clients = 1000;
    int32_t cases = 0;      // 0: clients * 10 / 3
    int32_t histories = 0;  // 0: clients * 9 / 10
    int32_t charges = 0;    // 0: clients / 150, between 40 and 2000
    int32_t agencies = 0;   // 0: clients / 1000, between 12 and 300
    uint64_t seed = 1;

    // The sizes with every 0 replaced by its default.
    SampleSizes Resolved() const;
};

// One table's rows as SQL value lists, e.g. "(12, 'Burglary', 0, 0, 1, NULL)", in the order of Columns.
struct SampleTable {
    QString table;    // as the program names it, brackets included
    QString columns;  // "(Description, Drug_Related, ...)"
};

// Produces every row of the sample, table by table, in an order that lets each row's references exist first:
// people, court charges, agencies, cases, criminal history, blacklist. IDs are not written: the tables must
// be empty, so that the database numbers each table's rows 1, 2, 3, ... as they arrive. sink receives the
// table and one value list; it is called once per row.
void GenerateSample(const SampleSizes& sizes,
                    const std::function<void(const SampleTable& table, const QString& values)>& sink);

}  // namespace tools
