#pragma once
// Who the run works for: set once by the main window's start-up, read by the creation of blacklist entries
// and by the activity log.

#include <cstdint>

namespace data {

// ID in [Application User List] of the user who scheduled the rebuild; 0 when that user is not found.
inline int32_t gCurrentUserId = 0;
// ID of this workstation in [Application Workstation List].
inline int32_t gCurrentWorkstationId = 0;

}  // namespace data
