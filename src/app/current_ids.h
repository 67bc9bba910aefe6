#pragma once
// Who the run works for: set once at start-up, written into new blacklist and activity-log rows.

#include <cstdint>

namespace app {

// ID in [Application User List] of the user who scheduled the rebuild; 0 when that user is not found.
inline int32_t gCurrentUserId = 0;
// ID of this workstation in [Application Workstation List].
inline int32_t gCurrentWorkstationId = 0;

}  // namespace app
