#pragma once
// Rebuilding the automatic disqualifications of one client from the charges of the client's cases and
// criminal history.

#include "engine/rebuild_progress.h"

#include <cstdint>

namespace engine {

struct ClientRebuildOptions {
    bool noMessageWindow = false;  // the progress is neither begun nor ended by the call
    bool showProgress = false;     // phases and counters go to the progress
    bool skipRemoval = false;      // the client's automatic entries stay; entries are only added
};

// Removes the client's automatic Blacklist entries (unless options.skipRemoval) and adds one, with an empty
// note, for every active agency that refuses a kind flagged on the charge of one of the client's cases or
// criminal-history rows, reporting through progress as options say. A failing open of a probe, a scan, an
// agency list or the add recordset ends the run with the "Unexpected error" message (throws
// platform::EndProgram); other errors reach the caller, leaving the progress unended and the hourglass up.
void RebuildClientDisqualifications(int32_t clientId, RebuildProgress& progress,
                                    const ClientRebuildOptions& options = {});

}  // namespace engine
