#pragma once
// Rebuilding the automatic disqualifications of one client from the charges of the client's cases and
// criminal history.

#include "platform/form.h"

#include <cstdint>

namespace engine {

struct ClientRebuildOptions {
    bool noMessageWindow = false;  // the message window is neither shown nor unloaded by the call
    bool showProgress = false;     // phase captions go to lblMessage and counters to stsBar
    bool skipRemoval = false;      // the client's automatic entries stay; entries are only added
};

// Removes the client's automatic Blacklist entries (unless options.skipRemoval) and adds one, with an empty
// note, for every active agency that refuses a kind flagged on the charge of one of the client's cases or
// criminal-history rows; the message window, owned by ownerForm, is shown meanwhile. A failing open of a
// probe, a scan, an agency list or the add recordset ends the run with the "Unexpected error" message (throws
// platform::EndProgram); other errors reach the caller, leaving the window and the hourglass up.
void RebuildClientDisqualifications(int32_t& clientId, platform::Form& ownerForm,
                                    const ClientRebuildOptions& options = {});

}  // namespace engine
