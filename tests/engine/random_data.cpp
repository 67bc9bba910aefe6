#include "random_data.h"

#include <QStringList>

#include <algorithm>
#include <random>
#include <set>

namespace enginetest {

namespace {

const QStringList kStaleNotes = {QStringLiteral("Drug Related - Case On File (Automatic)"),
                                 QStringLiteral("Theft Related - Criminal History (Automatic)"), QString(),
                                 QStringLiteral("left over")};

}  // namespace

uint32_t ChooseSeed() {
    bool ok = false;
    const uint32_t seed = qEnvironmentVariable("KESTRANE_ENGINE_SEED").toUInt(&ok);
    return ok ? seed : std::random_device{}();
}

RandomData GenerateRandomData(uint32_t seed, const RandomSizes& sizes) {
    std::mt19937 random(seed);
    auto chance = [&](double p) { return std::bernoulli_distribution(p)(random); };
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };

    RandomData data;
    for (int id = 1; id <= sizes.charges; ++id) {
        ChargeRow& charge = data.charges.emplace_back();
        charge.id = id;
        for (int& flag : charge.flags)
            flag = chance(0.15) ? -1 : (chance(0.3) ? 1 : 0);
    }
    for (int id = 1; id <= sizes.agencies; ++id) {
        AgencyRow& agency = data.agencies.emplace_back();
        agency.id = id;
        for (size_t k = 0; k < agency.refuses.size(); ++k)
            agency.refuses[k] = chance(0.4);
        agency.inactive = chance(0.25);
    }
    // A charge ID past the last charge names no charge; no charge ID at all is Null.
    auto offence = [&] {
        OffenceRow row;
        row.clientId = pick(1, sizes.clients);
        if (!chance(0.03))
            row.chargeId = chance(0.05) ? sizes.charges + pick(1, 5) : pick(1, sizes.charges);
        return row;
    };
    for (int i = 0; i < sizes.cases; ++i)
        data.cases.push_back(offence());
    for (int i = 0; i < sizes.history; ++i)
        data.history.push_back(offence());

    std::set<Pair> manualPairs;
    while (static_cast<int>(manualPairs.size()) < sizes.manualEntries) {
        manualPairs.emplace(pick(1, sizes.clients), pick(1, sizes.agencies));
    }
    for (const Pair& pair : manualPairs) {
        data.entries.push_back({pair.first, pair.second, true, QStringLiteral("Entered by hand")});
    }
    for (int i = 0; i < sizes.staleEntries; ++i) {
        data.entries.push_back({pick(1, sizes.clients), pick(1, sizes.agencies), false,
                                kStaleNotes[pick(0, static_cast<int>(kStaleNotes.size()) - 1)]});
    }
    std::shuffle(data.entries.begin(), data.entries.end(), random);

    std::set<int32_t> clients;
    for (const auto* rows : {&data.cases, &data.history}) {
        for (const OffenceRow& row : *rows)
            clients.insert(row.clientId);
    }
    for (const Entry& entry : data.entries)
        clients.insert(entry.clientId);
    data.clients.assign(clients.begin(), clients.end());
    std::shuffle(data.clients.begin(), data.clients.end(), random);
    return data;
}

void InsertRandomData(EngineFixture& fixture, const RandomData& data) {
    EngineFixture& db = fixture;
    for (const ChargeRow& charge : data.charges)
        db.InsertCharge(charge.id, charge.flags);
    for (const AgencyRow& agency : data.agencies)
        db.InsertAgency(agency.id, agency.refuses, agency.inactive);
    const auto insertRows = [&](const QString& head, const std::vector<OffenceRow>& rows) {
        constexpr size_t kChunk = 500;
        for (size_t first = 0; first < rows.size(); first += kChunk) {
            QStringList values;
            for (size_t i = first; i < std::min(rows.size(), first + kChunk); ++i) {
                values << QStringLiteral("(%1, %2)")
                              .arg(rows[i].clientId)
                              .arg(rows[i].chargeId ? QString::number(*rows[i].chargeId)
                                                    : QStringLiteral("NULL"));
            }
            db.Exec(head + values.join(QStringLiteral(", ")));
        }
    };
    insertRows(QStringLiteral("INSERT INTO Cases ([People ID], [Court Charge]) VALUES "), data.cases);
    insertRows(
        QStringLiteral("INSERT INTO [Client Criminal History] ([Client ID], [Court Charge ID]) VALUES "),
        data.history);
    db.InsertEntries(data.entries);
}

}  // namespace enginetest
