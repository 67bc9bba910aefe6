#include "data/open_connection.h"

#include "data/connection_settings.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"
#include "platform/window_closing.h"

#include <algorithm>
#include <array>
#include <optional>

namespace data {

namespace {

constexpr int kCommandTimeoutSeconds = 18;
constexpr int kConnectionTimeoutSeconds = 3;
constexpr int kTransientRetryWaitMs = 250;
// The transient failure of a call that is reported instead of retried.
constexpr int kReportedTransientFailure = 6;

const QString kDataSourceKey = QStringLiteral(";Data Source=");

// Two native numbers of the embedded engine's open that the call passes over in silence, as it does the
// others below, though no provider here raises them: their low words are the engine's errors -1024 (an
// invalid system path) and -1022 (a disk I/O error).
constexpr int32_t kJetInvalidSystemPath = -536937472;  // 0xDFFEFC00
constexpr int32_t kJetDiskIo = -66913278;              // 0xFC02FC02

// Errors after which the call ends with false and no message.
constexpr std::array<int32_t, 6> kSilentErrors = {
    ado::JET_FILE_NOT_FOUND,  kJetInvalidSystemPath,   kJetDiskIo,
    ado::DB_E_ERRORSOCCURRED, ado::JET_NOT_A_DATABASE, ado::SQL_SERVER_UNREACHABLE};

bool IsSilent(int32_t number) {
    return std::find(kSilentErrors.begin(), kSilentErrors.end(), number) != kSilentErrors.end();
}

// "<lead>" + N + " trying to open connection." + CR CR + description + LF LF + the advice.
void ShowOpenFailure(const QString& lead, int32_t number, const QString& description) {
    platform::MsgBox(lead + QString::number(number) + QStringLiteral(" trying to open connection.") +
                         QStringLiteral("\r\r") + description + QStringLiteral("\n\n") +
                         QStringLiteral("Contact your System Administrator if this continues."),
                     platform::vbOKOnly + platform::vbCritical);
}

// What the data-location dialog's Cancel does; stands in until the program installs the dialog.
void CancelDataLocation(const QString&) {
    platform::MsgBox(QStringLiteral("This must be set up before you may use the application."),
                     platform::vbOKOnly + platform::vbCritical,
                     QStringLiteral("Halvermoor Software Solutions Setup"));
    platform::UnloadAllForms();
}

std::function<void(const QString&)>& DataLocationDialog() {
    static std::function<void(const QString&)> dialog = CancelDataLocation;
    return dialog;
}

struct OpenState {
    int attempts = 0;       // E_FAIL and time-out failures in this call
    int32_t lastError = 0;  // N of the last failure, 0 when none
};

// Opens the connection once, repeating the open after transient failures. True when it is open; false after
// the handling of the failure (a message or silence), with the failure's number in state.lastError.
bool OpenWithRetries(ado::Connection& connection, const QString& connectionString, bool exclusive,
                     OpenState& state) {
    QString working = connectionString;
    if (!working.endsWith(QLatin1Char(';')))
        working += QLatin1Char(';');
    connection.CommandTimeout = kCommandTimeoutSeconds;
    connection.ConnectionTimeout = kConnectionTimeoutSeconds;
    connection.Mode = exclusive ? ado::adModeShareExclusive : ado::adModeReadWrite;
    for (;;) {
        try {
            connection.Open(working, QString(), QString(), -1);
            return true;
        } catch (const platform::RuntimeError& error) {
            int32_t number = AdoLastNativeError(connection);
            if (number == 0 && error.Number() != 0)
                number = error.Number();
            state.lastError = number;
            if (number == ado::E_FAIL_HR || number == ado::DB_E_ABORTLIMITREACHED) {
                ++state.attempts;
                if (state.attempts < kReportedTransientFailure) {
                    platform::Screen::DoEvents();
                    platform::Sleep(kTransientRetryWaitMs);
                    continue;
                }
                ShowOpenFailure(QStringLiteral("Timeout error "), number, error.Description());
            } else if (!IsSilent(number)) {
                ShowOpenFailure(QStringLiteral("Unknown error #"), number, error.Description());
            }
            return false;
        }
    }
}

// The connection string of database, as the settings hold it now.
QString ConnectionStringOf(Database database) {
    const ConnectionSettings& settings = Settings();
    return database == Database::Main ? settings.mainConnectionString : settings.usersConnectionString;
}

// The bare file name that connectionString's Data Source names, or nothing when it names none.
std::optional<QString> DataSourceFileName(const QString& connectionString) {
    const qsizetype at = connectionString.indexOf(kDataSourceKey, 0, Qt::CaseSensitive);
    if (at < 0)
        return std::nullopt;
    const QString source = connectionString.mid(at + kDataSourceKey.size()).section(QLatin1Char(';'), 0, 0);
    return source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

void SetDataLocationDialog(std::function<void(const QString& dbFile)> showDialog) {
    DataLocationDialog() = showDialog ? std::move(showDialog) : CancelDataLocation;
}

int32_t AdoLastNativeError(ado::Connection& connection) {
    int32_t last = 0;
    for (const ado::ErrorEntry& entry : connection.GetErrors().Entries())
        last = entry.nativeError;
    connection.GetErrors().Clear();
    return last;
}

bool AdoOpenConnection(ado::Connection& connection, Database database, bool exclusive) {
    OpenState state;
    bool result = false;
    // Set once a dialog has returned with no window of the program left loaded (its Cancel).
    bool nothingLeftToAsk = false;
    platform::Screen::SetMousePointer(platform::vbHourglass);
    for (;;) {
        const QString connectionString = ConnectionStringOf(database);
        result = OpenWithRetries(connection, connectionString, exclusive, state);
        if (result || state.lastError != ado::JET_FILE_NOT_FOUND)
            break;
        const std::optional<QString> dbFile = DataSourceFileName(connectionString);
        if (!dbFile)
            break;
        if (nothingLeftToAsk) {
            platform::Screen::SetMousePointer(platform::vbDefault);
            throw platform::EndProgram(QStringLiteral("The database file ") + *dbFile +
                                       QStringLiteral(" is missing."));
        }
        platform::Screen::SetMousePointer(platform::vbHourglass);
        DataLocationDialog()(*dbFile);
        platform::Screen::SetMousePointer(platform::vbDefault);
        nothingLeftToAsk = platform::Screen::Forms().empty();
    }
    platform::Screen::SetMousePointer(platform::vbDefault);
    return result;
}

}  // namespace data
