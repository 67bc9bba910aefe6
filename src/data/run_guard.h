#pragma once
// One run of the queue processor per data source at a time. A run holds a lock on a file beside the database
// files (an fcntl lock: it works over a network folder, and the system drops it when the process ends), and,
// when the main data is on the server, a session-level advisory lock on the catalog, on a session of its own
// that is never pooled. Each lock names its holder: the lock file holds its host, process and start, and the
// server session carries them in its application name, which every user of the server can read.

#include "data/connection_settings.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace ado::provider {
class Session;
}

namespace data {

// A run that holds a data source.
struct RunHolder {
    QString host;
    qint64 pid = 0;      // 0 when the holder could not be read
    QDateTime since;     // invalid when the holder could not be read
    QString dataSource;  // the lock file, or the server and catalog
};

// The run lock file of the data folder that settings name (beside KS.mdb and KS_users.mdb).
QString RunLockFile(const ConnectionSettings& settings);

// The run holding the data that settings name, found without taking it; nullopt when none. Raises ado::Error
// when the server cannot be asked.
std::optional<RunHolder> FindActiveRun(const ConnectionSettings& settings);

class RunGuard {
public:
    // Takes the run locks of the data that settings name for this process. When another run holds one, holds
    // nothing and Holder() names that run. A data folder whose lock file cannot be written is run without the
    // file lock, after a warning on standard error. Raises ado::Error when the server cannot be reached.
    explicit RunGuard(const ConnectionSettings& settings);
    // Releases what it holds.
    ~RunGuard();
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;

    // True when this run holds the data.
    bool Held() const { return !holder_.has_value(); }
    // The run that holds the data when this one does not.
    const std::optional<RunHolder>& Holder() const { return holder_; }
    // Releases the locks; later calls do nothing. Never fails.
    void Release();

private:
    int lockFile_ = -1;
    bool fileLocked_ = false;
    std::unique_ptr<ado::provider::Session> server_;
    std::optional<RunHolder> holder_;
};

}  // namespace data
