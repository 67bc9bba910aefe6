// Adding a scan's entries a list at a time on a server.
#include "engine/pending_entries.h"

#include "engine/add_blacklist_entry.h"
#include "platform/clock.h"

#include <set>
#include <utility>

namespace engine {

PendingEntries::PendingEntries(ado::Connection& connection, ado::Recordset& addRecordset, QString notes)
    : connection_(connection),
      addRecordset_(addRecordset),
      notes_(std::move(notes)),
      lists_(connection.CarriesLists()) {}

void PendingEntries::Add(int32_t clientId, int32_t agencyId) {
    if (!lists_) {
        AddBlacklistEntry(connection_, addRecordset_, clientId, agencyId, notes_);
        return;
    }
    if (waiting_.empty())
        firstWaiting_ = std::chrono::steady_clock::now();
    waiting_.emplace_back(clientId, agencyId);
    if (waiting_.size() >= kListSize || std::chrono::steady_clock::now() - firstWaiting_ >= kListAge)
        SendList();
}

void PendingEntries::Finish() {
    if (!waiting_.empty())
        SendList();
}

void PendingEntries::SendList() {
    using Pair = std::pair<int32_t, int32_t>;
    const std::vector<Pair> pairs = std::exchange(waiting_, {});
    // A pair met twice gets one entry, as one by one, where the second test finds the first's entry.
    std::vector<Pair> distinct;
    std::vector<QString> tests;
    std::set<Pair> seen;
    for (const Pair& pair : pairs) {
        if (seen.insert(pair).second) {
            distinct.push_back(pair);
            tests.push_back(DuplicateTest(pair.first, pair.second));
        }
    }
    try {
        const std::vector<bool> found = connection_.HasRows(tests);
        const QDateTime now = platform::Now();
        std::vector<std::vector<ado::Variant>> rows;
        for (size_t i = 0; i < distinct.size(); ++i) {
            if (!found[i])
                rows.push_back(EntryValues(distinct[i].first, distinct[i].second, notes_, now));
        }
        if (!rows.empty())
            connection_.InsertAll(kAddRecordsetSource, EntryColumns(), rows);
        return;
    } catch (const ado::Error&) {
        // A failed flight kept nothing, or (its answer lost with the connection) only entries the duplicate
        // tests find: the list starts over one by one, where each failure gets its own handling.
    }
    for (const auto& [client, agency] : pairs)
        AddBlacklistEntry(connection_, addRecordset_, client, agency, notes_);
}

}  // namespace engine
