#pragma once
// ADO's Connection: opens a session through the provider that Provider= names, runs commands, and keeps the
// Errors collection. A closed connection's session goes back to a pool for the same connection string.
//
// A session whose link to the engine broke (a server restart, a network failure) is dropped as soon as a
// call fails on it; the connection stays open and opens a new session, once, at its next call. When that
// open fails, the call raises the open's error and the next call tries again, so a caller that waits out
// its failures carries on once the server is back. A session lost inside a transaction is not replaced
// until the transaction ends, so that the statements after the loss never run outside it.

#include "ado/error.h"
#include "ado/provider.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace ado {

class Recordset;

inline constexpr int adStateClosed = 0;
inline constexpr int adStateOpen = 1;

inline constexpr int adModeUnknown = 0;
inline constexpr int adModeReadWrite = 3;
inline constexpr int adModeShareExclusive = 12;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the connection (reusing a pooled session of the same string when there is one). On failure the
    // error is added to Errors and raised as ado::Error; the connection stays closed.
    void Open(const QString& connectionString, const QString& userId = {}, const QString& password = {},
              int options = -1);
    // Closes the connection and the recordsets open on it; its session returns to the pool. Raises 3704 when
    // it is not open.
    void Close();
    // Runs a command. recordsAffected, when given, receives the count. Raises ado::Error (also added to
    // Errors).
    void Execute(const QString& sql, int64_t* recordsAffected = nullptr, int options = -1);

    // Transactions, for bulk work outside the program (the program itself writes without them). Each raises
    // ado::Error as Execute does; a session with an open transaction is not pooled. When the session broke
    // inside the transaction, its writes are gone: every call but these two raises the loss (10054) until
    // CommitTrans (which raises it too) or RollbackTrans (which succeeds) ends the transaction.
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    // Beyond ADO: lists of small statements in one flight, where the session carries them (a server; see
    // provider::Session). CarriesLists is false when it does not, or when no session can be opened now; it
    // never fails. HasRows and InsertAll raise ado::Error (also added to Errors) as Execute does; InsertAll
    // writes into the base table of source, an updatable statement, all the rows or none.
    bool CarriesLists();
    std::vector<bool> HasRows(const std::vector<QString>& queries);
    void InsertAll(const QString& source, const std::vector<QString>& columns,
                   const std::vector<std::vector<Variant>>& rows);

    int State() const { return open_ ? adStateOpen : adStateClosed; }
    Errors& GetErrors() { return errors_; }

    int CommandTimeout = 30;     // seconds; 0 means no limit
    int ConnectionTimeout = 15;  // seconds
    int Mode = adModeUnknown;

    // The connection string it was opened with.
    const QString& ConnectionStringText() const { return connectionString_; }

    // The open session, a new one first when the last one broke. Raises 3704 when the connection is closed,
    // and the open's error (also in Errors) when a new session cannot be opened. For the recordsets of this
    // connection.
    provider::Session& GetSession();
    // Counts the sessions the connection has had since it was opened: it changes when a broken one is
    // replaced, so that a recordset knows that the statements it left on the old one are gone.
    uint64_t SessionNumber() const { return sessionNumber_; }
    // Records err in Errors and returns it, for rethrowing. A session found broken is dropped, to be replaced
    // at the next call.
    const Error& Record(const Error& err);

private:
    friend class Recordset;
    // Runs call on the session with the command time-out in force; an error is recorded (see Record) and
    // raised.
    template <typename Call>
    auto OnSession(Call call) {
        provider::Session& session = GetSession();
        try {
            session.SetCommandTimeout(CommandTimeout);
            return call(session);
        } catch (const Error& err) {
            throw Record(err);
        }
    }
    // A session from the pool when pooled is true and it has one, else a new one. Raises the open's error,
    // also in Errors.
    std::unique_ptr<provider::Session> OpenSession(bool pooled);
    // Ends the transaction begun with BeginTrans; true when its session was lost meanwhile (nothing of it
    // is left to end).
    bool EndTransaction();

    QString poolKey_;
    std::vector<Recordset*> recordsets_;  // open on this connection
    QString connectionString_;
    QString providerName_;
    std::shared_ptr<provider::Provider> provider_;
    provider::OpenOptions options_;
    bool open_ = false;
    std::unique_ptr<provider::Session> session_;  // empty while open only when a broken one awaits renewal
    uint64_t sessionNumber_ = 0;
    bool inTransaction_ = false;
    bool transactionLost_ = false;  // the session broke inside the transaction
    Errors errors_;
};

// Makes the new, empty database that connectionString names, as a catalog's Create does (for the Jet provider
// a database file). Raises ado::Error: 3706 for an unknown provider, JET_DATABASE_EXISTS when it exists, the
// engine's error when it cannot be made.
void CreateDatabase(const QString& connectionString);

// Drops every pooled session, committing what they hold. Needed before a database file is replaced or removed
// while the process runs (the local refresh, kestrane-admin init) and by tests between cases.
void ClearConnectionPool();

}  // namespace ado
