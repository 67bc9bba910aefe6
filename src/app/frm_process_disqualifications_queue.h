#pragma once
// The main window: the whole run happens inside its load event. It reads the connection settings, checks the
// rebuild schedule and this workstation's admission, works the queue off when both allow it, shows its last
// status for five seconds and unloads itself.

#include "data/run_guard.h"
#include "platform/controls.h"
#include "platform/form.h"

#include <QDateTime>

#include <memory>

namespace app {

class frmProcessDisqualificationsQueue : public platform::Form {
    Q_OBJECT
public:
    frmProcessDisqualificationsQueue();

    // The wait for the scheduled time and the start time.
    platform::Label* lblLaunchTime = nullptr;
    // Every status message of start-up, and the queue size.
    platform::Label* lblQueueSize = nullptr;
    // The running count of processed requests.
    platform::Label* lblProcessCount = nullptr;

    // Fills the program-wide connection settings; sets the incomplete-setup flag after telling the user what
    // is missing. Never fails.
    void ConnectDatabase();
    // Checks the schedule in [Parameters] and this workstation's admission, then waits for the scheduled time
    // and processes the queue when both allow it; records in ThisRun() what it found. Database errors are not
    // handled: they reach the caller.
    void CheckWorkstationAndSchedule();
    // Holds the run until rebuildTime, showing the wait and then the start time. Never fails.
    void WaitForScheduledRebuild(QDateTime rebuildTime);
    // Works off every queued request in order of creation, clears the schedule and logs the run; counts in
    // ThisRun() what it processed and what it left. Errors are not handled: they reach the caller.
    void ProcessQueue();

protected:
    // Runs ConnectDatabase, then the activation work itself: the whole run happens before it returns.
    void Form_Load() override;
    // The first call shows the window, runs the checks (and the queue), holds the last status for five
    // seconds and unloads the window; later calls do nothing.
    void Form_Activate() override;
    // Empties the program-wide reference; the unload is never cancelled.
    void Form_Unload(int& cancel) override;

private:
    // Takes this run's lock on the data. False, after showing which run holds it, when another run does.
    // Raises ado::Error when the server cannot be asked.
    bool TakeRunGuard();

    bool activated_ = false;
    bool incompleteSetup_ = false;
    std::unique_ptr<data::RunGuard> runGuard_;
};

// The program-wide reference to the main window.
inline platform::FormRef<frmProcessDisqualificationsQueue> gfrmProcessDisqualificationsQueue;

}  // namespace app
