#pragma once
// Errors of the database object model: the HRESULT that ADO raises, the engine's native number, and the
// statement. Also the Errors collection that a connection keeps.

#include "platform/runtime_error.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace ado {

// HRESULTs raised, as signed 32-bit numbers.
inline constexpr int32_t E_FAIL_HR = -2147467259;                // 0x80004005
inline constexpr int32_t DB_E_ABORTLIMITREACHED = -2147217871;   // 0x80040E31, command time-out
inline constexpr int32_t DB_E_ERRORSOCCURRED = -2147217887;      // 0x80040E21
inline constexpr int32_t DB_E_ERRORSINCOMMAND = -2147217900;     // 0x80040E14, syntax error
inline constexpr int32_t DB_E_NOTABLE = -2147217865;             // 0x80040E37
inline constexpr int32_t DB_E_PARAMNOTOPTIONAL = -2147217904;    // 0x80040E10, unknown field (Jet)
inline constexpr int32_t DB_E_INTEGRITYVIOLATION = -2147217873;  // 0x80040E2F
inline constexpr int32_t DB_E_CANTCONVERTVALUE = -2147217913;    // 0x80040E07, data type mismatch
inline constexpr int32_t ADODB_E_ITEMNOTFOUND = 3265;            // field not in the recordset
inline constexpr int32_t ADODB_E_OBJECTCLOSED = 3704;            // operation on a closed object
inline constexpr int32_t ADODB_E_OBJECTOPEN = 3705;              // Open on an object already open
inline constexpr int32_t ADODB_E_PROVIDERNOTFOUND = 3706;        // Provider= names no provider
inline constexpr int32_t ADODB_E_NOCURRENTRECORD = 3021;         // EOF or BOF, or the row was deleted
inline constexpr int32_t ADODB_E_NOTSUPPORTED = 3251;            // the recordset cannot do that

// Native errors of the Jet provider (SQLite engine).
inline constexpr int32_t JET_FILE_NOT_FOUND = -534578963;  // 0xE022F8ED
inline constexpr int32_t JET_NOT_A_DATABASE = -544083682;  // 0xDF91F11E
inline constexpr int32_t JET_LOCKED = 3260;
inline constexpr int32_t JET_DATABASE_EXISTS = 3204;
inline constexpr int32_t JET_READ_ONLY = 3027;           // the file or its folder cannot be written
inline constexpr int32_t JET_RECORD_LOCKED = 3186;       // Jet's "could not save; currently locked"
inline constexpr int32_t JET_RECORD_IN_USE = 3188;       // Jet's "locked by another session on this machine"

// Native errors of the server provider (PostgreSQL engine), numbered as the server product numbers them.
inline constexpr int32_t SQL_SERVER_UNREACHABLE = 17;
inline constexpr int32_t SQL_LOGIN_FAILED = 18456;
inline constexpr int32_t SQL_NO_DATABASE = 4060;
inline constexpr int32_t SQL_LOCK_TIMEOUT = 1222;
inline constexpr int32_t SQL_SYNTAX = 102;
inline constexpr int32_t SQL_NO_TABLE = 208;
inline constexpr int32_t SQL_NO_COLUMN = 207;
inline constexpr int32_t SQL_DUPLICATE_KEY = 2627;
inline constexpr int32_t SQL_CONNECTION_LOST = 10054;  // the session broke during a statement

// What waiting can do about a failure, told from its number and native number. The record operations and
// the rebuilds' retries wait out locks, time-outs and a server that is away; the rest is reported at once.
enum class ErrorCause {
    Lock,         // another connection holds the row, page or file: clears when that one ends
    Timeout,      // the command ran past CommandTimeout
    ServerAway,   // the server connection broke, cannot be made, or the server is busy: a new session may
                  // succeed
    Permanent,    // waiting never clears it: read-only, a full disk, a missing or damaged file, an I/O error
    Statement,    // the statement, its values or the object model's use are at fault
};

// The cause of a failure whose HRESULT (or run-time error number) is number and whose native number is native.
ErrorCause CauseOf(int32_t number, int32_t native);

// One entry of a connection's Errors collection.
struct ErrorEntry {
    int32_t number = 0;       // the HRESULT
    int32_t nativeError = 0;  // the engine's number
    QString description;
    QString source;  // the provider's name
    QString sqlState;
};

// A database error as a run-time error: Number() is the HRESULT.
class Error : public platform::RuntimeError {
public:
    Error(int32_t hresult, int32_t nativeError, const QString& description, const QString& statement = {});
    int32_t NativeError() const { return native_; }
    const QString& Statement() const { return statement_; }
    ErrorEntry ToEntry(const QString& source) const;

private:
    int32_t native_;
    QString statement_;
};

// An error of the object model itself (3021, 3251, 3265, 3704, 3705, 3706) with ADO's description.
Error ObjectModelError(int32_t number);

class Errors {
public:
    int Count() const { return static_cast<int>(entries_.size()); }
    const ErrorEntry& Item(int index) const { return entries_.at(index); }
    const std::vector<ErrorEntry>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); }
    void Add(ErrorEntry entry) { entries_.push_back(std::move(entry)); }

private:
    std::vector<ErrorEntry> entries_;
};

}  // namespace ado
