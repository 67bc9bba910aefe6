#pragma once
// ADO's Connection: opens a session through the provider that Provider= names, runs commands, and keeps the
// Errors collection. A closed connection's session goes back to a pool for the same connection string.

#include "ado/error.h"
#include "ado/provider.h"

#include <QString>

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
    // ado::Error as Execute does; a session with an open transaction is not pooled.
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    int State() const { return session_ ? adStateOpen : adStateClosed; }
    Errors& GetErrors() { return errors_; }

    int CommandTimeout = 30;     // seconds; 0 means no limit
    int ConnectionTimeout = 15;  // seconds
    int Mode = adModeUnknown;

    const QString& ConnectionStringText() const { return connectionString_; }
    const QString& ProviderName() const { return providerName_; }

    // The open session (raises 3704 when closed). For the recordsets of this connection.
    provider::Session& GetSession();
    // Records err in Errors and returns it, for rethrowing.
    const Error& Record(const Error& err);

private:
    friend class Recordset;
    QString poolKey_;
    std::vector<Recordset*> recordsets_;  // open on this connection
    QString connectionString_;
    QString providerName_;
    std::unique_ptr<provider::Session> session_;
    Errors errors_;
};

// Makes the new, empty database that connectionString names, as a catalog's Create does (for the Jet provider a
// database file). Raises ado::Error: 3706 for an unknown provider, JET_DATABASE_EXISTS when it exists, the
// engine's error when it cannot be made.
void CreateDatabase(const QString& connectionString);

// Drops every pooled session (tests use it between cases; the program never needs it).
void ClearConnectionPool();

}  // namespace ado
