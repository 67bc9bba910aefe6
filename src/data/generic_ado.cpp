#include "data/generic_ado.h"

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

// The cache refresh that follows a write when the caller asks for it.
void RefreshAfterWrite(ado::Recordset& recordset, bool refresh, bool& accessFlag) {
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

void AdoRefreshCache(ado::Connection& connection, bool& accessFlag) {
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

bool AdoDeleteRecord(ado::Recordset& recordset, bool refresh, bool& accessFlag) {
    bool result = true;
    int lockWaits = 0;
    for (;;) {
        bool locked = false;
        QString description;
        try {
            RereadOnServerCursor(recordset);
            recordset.Delete(ado::adAffectCurrent);
        } catch (const platform::RuntimeError& error) {
            description = error.Description();
            locked = IsDeleteLock(error.Number());
            if (!locked) {
                result = false;
                ShowDeleteFailed(error.Number(), description);
            }
        }
        if (!locked)
            break;
        platform::Screen::SetMousePointer(platform::vbHourglass);
        platform::Sleep(kDeleteLockWaitMs);
        if (lockWaits == kDeleteAttemptsPerMessage) {
            lockWaits = 0;
            ShowDeleteLockMessage(description);
        } else {
            ++lockWaits;
        }
        platform::Screen::SetMousePointer(platform::vbDefault);
    }
    RefreshAfterWrite(recordset, refresh, accessFlag);
    return result;
}

bool AdoUpdateRecord(ado::Recordset& recordset, bool refresh, bool& accessFlag, bool quiet) {
    const bool prompt = !quiet;
    int lockRetries = 0;
    bool result = true;
    for (;;) {
        result = true;
        bool locked = false;
        int32_t number = 0;
        QString description;
        try {
            RereadOnServerCursor(recordset);
            recordset.Update();
        } catch (const platform::RuntimeError& error) {
            result = false;
            number = error.Number();
            description = error.Description();
            if ((number == ado::E_FAIL_HR || number == ado::DB_E_ABORTLIMITREACHED) &&
                lockRetries < kUpdateRetries) {
                ++lockRetries;
                locked = true;
            } else if (number == ado::DB_E_ERRORSOCCURRED) {
                locked = true;
            } else {
                ShowUpdateFailed(number, description);
            }
        }
        if (!locked)
            break;
        if (!prompt) {
            platform::Sleep(kUpdateLockWaitMs);
            platform::Screen::DoEvents();
            continue;
        }
        platform::Screen::SetMousePointer(platform::vbHourglass);
        // Cancel leaves the hourglass up and skips the cache refresh.
        if (!AskToRetryUpdate(number, description))
            return false;
        platform::Screen::SetMousePointer(platform::vbDefault);
    }
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
    AdoExecute(connection, batch);
    rs.Close();
    rs.Open(QStringLiteral("SELECT * FROM ") + tableName + QStringLiteral(" WHERE ID = ") + idText,
            connection, ado::adOpenKeyset, ado::adLockPessimistic, -1);
    return !rs.Eof();
}

}  // namespace data
