#include "ado/error.h"

namespace ado {

Error::Error(int32_t hresult, int32_t nativeError, const QString& description, const QString& statement)
    : platform::RuntimeError(hresult, description), native_(nativeError), statement_(statement) {}

ErrorEntry Error::ToEntry(const QString& source) const {
    ErrorEntry entry;
    entry.number = Number();
    entry.nativeError = native_;
    entry.description = Description();
    entry.source = source;
    return entry;
}

}  // namespace ado

namespace ado {

Error ObjectModelError(int32_t number) {
    switch (number) {
        case ADODB_E_NOCURRENTRECORD:
            return Error(number, 0,
                         QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                        "Requested operation requires a current record."));
        case ADODB_E_NOTSUPPORTED:
            return Error(
                number, 0,
                QStringLiteral("Object or provider is not capable of performing requested operation."));
        case ADODB_E_ITEMNOTFOUND:
            return Error(
                number, 0,
                QStringLiteral("Item cannot be found in the collection corresponding to the requested "
                               "name or ordinal."));
        case ADODB_E_OBJECTCLOSED:
            return Error(number, 0, QStringLiteral("Operation is not allowed when the object is closed."));
        case ADODB_E_OBJECTOPEN:
            return Error(number, 0, QStringLiteral("Operation is not allowed when the object is open."));
        case ADODB_E_PROVIDERNOTFOUND:
            return Error(number, 0,
                         QStringLiteral("Provider cannot be found. It may not be properly installed."));
        default:
            return Error(number, 0, QStringLiteral("Application-defined or object-defined error"));
    }
}

}  // namespace ado

namespace ado {

namespace {

// Native numbers of the embedded engine (its primary result codes) for conditions that no wait can clear.
constexpr int32_t kEngineNoPermission = 3;
constexpr int32_t kEngineIoError = 10;
constexpr int32_t kEngineDamaged = 11;
constexpr int32_t kEngineFull = 13;
constexpr int32_t kEngineCannotOpen = 14;
constexpr int32_t kEngineStaleSnapshot = 517;  // a write on a connection whose read began before another commit

bool IsPermanentNative(int32_t native) {
    switch (native) {
        case JET_READ_ONLY:
        case JET_FILE_NOT_FOUND:
        case JET_NOT_A_DATABASE:
        case SQL_LOGIN_FAILED:
        case SQL_NO_DATABASE:
        case kEngineStaleSnapshot:
            return true;
        default:
            break;
    }
    // The engine's extended codes keep their primary code in the low byte (an I/O error while writing is
    // 778, while reading 266).
    switch (native & 0xff) {
        case kEngineNoPermission:
        case kEngineIoError:
        case kEngineDamaged:
        case kEngineFull:
        case kEngineCannotOpen:
            return native > 0;
        default:
            return false;
    }
}

}  // namespace

ErrorCause CauseOf(int32_t number, int32_t native) {
    if (number == DB_E_ABORTLIMITREACHED)
        return ErrorCause::Timeout;
    if (number == DB_E_ERRORSOCCURRED)
        return ErrorCause::Lock;
    if (number != E_FAIL_HR)
        return ErrorCause::Statement;
    if (native == SQL_CONNECTION_LOST || native == SQL_SERVER_UNREACHABLE)
        return ErrorCause::ServerAway;
    if (IsPermanentNative(native))
        return ErrorCause::Permanent;
    // E_FAIL with any other native number (the engines' locks, a busy server, or none) is what the record
    // operations have always waited out.
    return ErrorCause::Lock;
}

}  // namespace ado
