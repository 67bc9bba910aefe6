#pragma once
// The entries of one scan, added a list at a time where the connection carries lists (a server): the
// duplicate tests of up to kListSize pairs go in one flight, then the new pairs' inserts in a second one,
// committed together. Everywhere else, and whenever a flight fails, each pair goes through AddBlacklistEntry,
// whose error handling is the rebuild's. Either way each pair gets its duplicate test against the table as it
// stands plus what the scan added, and each new pair one insert.

#include "ado/connection.h"
#include "ado/recordset.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

namespace engine {

// Pairs gathered before their flights are sent. At a few hundred, the wait for the answers is spread thin,
// and the answers still fit the connection's buffers. A list is sent sooner once its first pair has waited as
// long as the embedded files let a group of writes wait, so that other programs see the entries as soon on
// the server as on the files.
inline constexpr size_t kListSize = 256;
inline constexpr std::chrono::milliseconds kListAge{50};

class PendingEntries {
public:
    // The entries carry notes; one by one they are added through addRecordset.
    PendingEntries(ado::Connection& connection, ado::Recordset& addRecordset, QString notes);

    // Adds the pair's entry unless the pair has one: at once, or with the list the pair joins. Ends the run
    // as AddBlacklistEntry does.
    void Add(int32_t clientId, int32_t agencyId);
    // Adds the entries still waiting. Ends the run as AddBlacklistEntry does.
    void Finish();

private:
    // Sends the waiting list's flights; when one fails, adds the list one by one.
    void SendList();

    ado::Connection& connection_;
    ado::Recordset& addRecordset_;
    QString notes_;
    bool lists_;
    std::vector<std::pair<int32_t, int32_t>> waiting_;  // client, agency
    std::chrono::steady_clock::time_point firstWaiting_;
};

}  // namespace engine
