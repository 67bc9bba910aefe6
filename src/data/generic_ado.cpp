#include "data/generic_ado.h"

#include "data/failed_writes.h"
#include "data/retry_bound.h"

#include "platform/application.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"

#include <algorithm>
#include <array>

namespace data {

namespace {

// Run-time error 91: the routine was given an empty object reference.
constexpr int32_t kErrObjectNotSet = 91;

constexpr int kDeleteLockWaitMs = 1000;
constexpr int kUpdateLockWaitMs = 250;
// Failed delete attempts between two lock messages, after the first one.
constexpr int kDeleteAttemptsPerMessage = 10;
// E_FAIL and time-out failures of one update that are retried; the next one is reported.
constexpr int kUpdateRetries = 5;

// Errors of a delete that mean another workstation holds the record or the page.
constexpr std::array<int32_t, 5> kDeleteLockErrors = {3186, 3188, ado::JET_LOCKED, ado::E_FAIL_HR,
                                                      ado::DB_E_ERRORSOCCURRED};

const QString kContactAdministrator = QStringLiteral("Contact your System Administrator if this continues.");

template <class T>
T& Dereference(T* object) {
    if (object == nullptr) {
        throw platform::RuntimeError(kErrObjectNotSet,
                                     QStringLiteral("Object variable or With block variable not set"));
    }
    return *object;
}

bool IsDeleteLock(int32_t number) {
    return std::find(kDeleteLockErrors.begin(), kDeleteLockErrors.end(), number) != kDeleteLockErrors.end();
}

void ShowDeleteLockMessage(const QString& description) {
    platform::MsgBox(description + QStringLiteral("\nCheck other ") + platform::AppTitle() +
                         QStringLiteral(" workstations to make sure they exit their update.") +
                         QStringLiteral("Then click OK to continue."),
                     platform::vbOKOnly + platform::vbInformation);
}

void ShowDeleteFailed(int32_t number, const QString& description) {
    platform::MsgBox(QStringLiteral("Unknown error #") + QString::number(number) +
                         QStringLiteral(" during record delete.") + description +
                         QStringLiteral("\n\n** Delete Failed **\n") + kContactAdministrator,
                     platform::vbOKOnly + platform::vbCritical);
}

// Asks whether to try a blocked update again; true when the user answers OK.
bool AskToRetryUpdate(int32_t number, const QString& description) {
    const int answer = platform::MsgBox(
        QStringLiteral("Error: ") + QString::number(number) + QStringLiteral(": ") + description +
            QStringLiteral("\n\nContact your System Administrator about performing this function.") +
            QStringLiteral("Then click OK to continue or click Cancel to quit."),
        platform::vbOKCancel + platform::vbInformation);
    return answer == platform::vbOK;
}

void ShowUpdateFailed(int32_t number, const QString& description) {
    platform::MsgBox(QStringLiteral("Error ") + QString::number(number) +
                         QStringLiteral(" during record update.") + description +
                         QStringLiteral("\n\n** Update Failed **\n") + kContactAdministrator,
                     platform::vbOKOnly + platform::vbCritical);
}

// How a record operation meets a failed attempt.
enum class Wait {
    None,         // the routine's failure path
    Lock,         // another workstation's lock: the routine's own wait, for up to five minutes
    CountedLock,  // a lock or time-out of an update: retried, at most kUpdateRetries times
    ServerAway,   // the routine's own wait, for up to five minutes, while the connection renews its session
};

// The wait for a failure that the routine waits out: a lock, unless waiting can never clear it.
Wait WaitByCause(const platform::RuntimeError& error) {
    switch (CauseOf(error)) {
        case ado::ErrorCause::Permanent:
            return Wait::None;
        case ado::ErrorCause::ServerAway:
            return Wait::ServerAway;
        default:
            return Wait::Lock;
    }
}

// The wait of an update after error; counts a lock retry.
Wait UpdateWait(const platform::RuntimeError& error, int& lockRetries) {
    const int32_t number = error.Number();
    if (number == ado::DB_E_ERRORSOCCURRED)
        return Wait::Lock;
    if (number != ado::E_FAIL_HR && number != ado::DB_E_ABORTLIMITREACHED)
        return Wait::None;
    const Wait wait = WaitByCause(error);
    if (wait != Wait::Lock)
        return wait;
    if (lockRetries >= kUpdateRetries)
        return Wait::None;
    ++lockRetries;
    return Wait::CountedLock;
}

// A record operation on recordset, as its warning line names it; a lock that outlasts its wait marks the
// connection's data source.
RetriedOperation RecordOperation(const QString& name, const ado::Recordset& recordset) {
    const ado::Connection* connection = recordset.ActiveConnection();
    return {name, recordset.Source(), connection ? connection->ConnectionStringText() : QString()};
}

// The cache refresh that follows a write when the caller asks for it.
void RefreshAfterWrite(ado::Recordset& recordset, bool refresh, bool accessFlag) {
    if (refresh)
        AdoRefreshCache(Dereference(recordset.ActiveConnection()), accessFlag);
}

// A server-side cursor reads the current record again before it is written.
void RereadOnServerCursor(ado::Recordset& recordset) {
    if (recordset.CursorLocation == ado::adUseServer)
        recordset.Move(0);
}

}  // namespace

void AdoCloseConnection(std::unique_ptr<ado::Connection>& connection) {
    Dereference(connection.get()).Close();
    connection.reset();
}

void AdoCloseRecordset(std::unique_ptr<ado::Recordset>& recordset) {
    Dereference(recordset.get()).Close();
    recordset.reset();
}

void AdoRefreshCache(ado::Connection& connection, bool accessFlag) {
    if (accessFlag)
        connection.GetSession().RefreshCache();
}

int32_t AdoExecute(ado::Connection& connection, const QString& sql) {
    int16_t timeoutRetries = 0;
    for (;;) {
        try {
            connection.Execute(sql, nullptr, -1);
            return 0;
        } catch (const platform::RuntimeError& error) {
            if (error.Number() == ado::DB_E_ABORTLIMITREACHED && timeoutRetries == 0) {
                ++timeoutRetries;
                continue;
            }
            return error.Number();
        }
    }
}

bool AdoDeleteRecord(ado::Recordset& recordset, bool refresh, bool accessFlag) {
    RetryBound bound(RecordOperation(QStringLiteral("record delete"), recordset));
    bool result = true;
    int lockWaits = 0;
    for (;;) {
        Wait wait = Wait::None;
        QString description;
        try {
            RereadOnServerCursor(recordset);
            recordset.Delete(ado::adAffectCurrent);
            bound.Succeeded();
        } catch (const platform::RuntimeError& error) {
            description = error.Description();
            wait = IsDeleteLock(error.Number()) ? WaitByCause(error) : Wait::None;
            if (wait != Wait::None && !bound.AllowsAnotherAttempt(error))
                wait = Wait::None;
            if (wait == Wait::None) {
                result = false;
                ShowDeleteFailed(error.Number(), description);
                CountFailedWrite(FailedWrite::Delete);
            }
        }
        if (wait == Wait::None)
            break;
        platform::Screen::SetMousePointer(platform::vbHourglass);
        platform::Sleep(kDeleteLockWaitMs);
        // The lock message asks people to end another workstation's update; a server that is away is not one.
        if (wait == Wait::Lock) {
            if (lockWaits == kDeleteAttemptsPerMessage) {
                lockWaits = 0;
                ShowDeleteLockMessage(description);
            } else {
                ++lockWaits;
            }
        }
        platform::Screen::SetMousePointer(platform::vbDefault);
    }
    RefreshAfterWrite(recordset, refresh, accessFlag);
    return result;
}

bool AdoUpdateRecord(ado::Recordset& recordset, bool refresh, bool accessFlag, bool quiet) {
    const bool prompt = !quiet;
    const FailedWrite kind = recordset.EditMode() == ado::adEditAdd ? FailedWrite::Add : FailedWrite::Update;
    int lockRetries = 0;
    RetryBound bound(RecordOperation(QStringLiteral("record update"), recordset));
    bool result = true;
    for (;;) {
        result = true;
        Wait wait = Wait::None;
        int32_t number = 0;
        QString description;
        try {
            RereadOnServerCursor(recordset);
            recordset.Update();
            bound.Succeeded();
        } catch (const platform::RuntimeError& error) {
            result = false;
            number = error.Number();
            description = error.Description();
            wait = UpdateWait(error, lockRetries);
            // The five retries are the system's own bound; the other waits have five minutes.
            if (wait != Wait::None && wait != Wait::CountedLock && !bound.AllowsAnotherAttempt(error))
                wait = Wait::None;
            if (wait == Wait::None)
                ShowUpdateFailed(number, description);
        }
        if (wait == Wait::None)
            break;
        // A server that is away is waited out without asking: the person can do nothing about it.
        if (!prompt || wait == Wait::ServerAway) {
            platform::Sleep(kUpdateLockWaitMs);
            platform::Screen::DoEvents();
            continue;
        }
        platform::Screen::SetMousePointer(platform::vbHourglass);
        // Cancel leaves the hourglass up and skips the cache refresh.
        if (!AskToRetryUpdate(number, description)) {
            CountFailedWrite(kind);
            return false;
        }
        platform::Screen::SetMousePointer(platform::vbDefault);
    }
    if (!result)
        CountFailedWrite(kind);
    RefreshAfterWrite(recordset, refresh, accessFlag);
    return result;
}

bool AdoAutoAddRS(ado::Recordset& recordset) {
    try {
        recordset.AddNew();
        return true;
    } catch (const platform::RuntimeError& error) {
        platform::MsgBox(QStringLiteral("Error #") + QString::number(error.Number()) +
                             QStringLiteral("\r\r") + error.Description() +
                             QStringLiteral("\r\rAdd failed in AdoAutoAddRS."),
                         platform::vbOKOnly + platform::vbCritical);
        CountFailedWrite(FailedWrite::Add);
        return false;
    }
}

bool AdoAddWithIdentity(const QString& dataSourceType, ado::Connection& connection,
                        std::unique_ptr<ado::Recordset>& recordset, const QString& tableName, int32_t id) {
    ado::Recordset& rs = Dereference(recordset.get());
    if (id < 1) {
        rs.AddNew();
        return true;
    }
    const QString idText = QString::number(id);
    const QString insert = QStringLiteral("INSERT INTO ") + tableName + QStringLiteral(" (ID) VALUES (") +
                           idText + QStringLiteral("); ");
    const QString batch = dataSourceType == QStringLiteral("SQL Server")
                              ? QStringLiteral("SET IDENTITY_INSERT ") + tableName + QStringLiteral(" ON; ") +
                                    insert + QStringLiteral("SET IDENTITY_INSERT ") + tableName +
                                    QStringLiteral(" OFF")
                              : insert;
    // The insert's result is not looked at: a row that is not there is found below.
    AdoExecute(connection, batch);
    rs.Close();
    rs.Open(QStringLiteral("SELECT * FROM ") + tableName + QStringLiteral(" WHERE ID = ") + idText,
            connection, ado::adOpenKeyset, ado::adLockPessimistic, -1);
    return !rs.Eof();
}

}  // namespace data
