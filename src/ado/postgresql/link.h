#pragma once
// One libpq connection and what the server keeps for it: the prepared statements, the cursors, and the
// statement time-out in force. Every call runs to completion, so the connection is idle between calls and
// any number of cursors can be read in turns with other statements.

#include "ado/error.h"

#include <libpq-fe.h>

#include <QByteArray>
#include <QHash>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace ado::postgresql {

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

using ParameterValues = std::vector<std::optional<QByteArray>>;  // text format; nullopt is NULL

// A statement to run prepared: key names it in the cache, statement is the program's text, for errors.
struct PreparedCall {
    QByteArray key;
    QByteArray text;
    std::vector<Oid> types;
    ParameterValues values;
    QString statement;
};

class Link {
public:
    // Takes over an open connection.
    explicit Link(PGconn* connection, int statementTimeoutMs);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // The statement time-out (ms, 0 none) for the statements that follow; sent only when it changes.
    void SetStatementTimeout(int ms) { wantedTimeoutMs_ = ms; }

    // Runs text as a prepared statement, preparing it on its first use (key names it in the cache).
    // Returns the result. Raises ado::Error, naming statement.
    ResultPtr RunPrepared(const QByteArray& key, const QByteArray& text, const std::vector<Oid>& types,
                          const ParameterValues& values, const QString& statement);
    // Sends every call in one flight (libpq's pipeline mode: one wait for all the answers), which the server
    // runs as one transaction, and returns their results in order. Raises ado::Error naming the first call
    // that failed; the server then ran none of the calls after it and kept nothing of the flight. The
    // answers must fit the socket's buffers while they wait to be read: a few hundred small ones.
    std::vector<ResultPtr> RunFlight(const std::vector<PreparedCall>& calls);
    // Runs one or more statements through the simple protocol and returns the result of each. Raises
    // ado::Error at the first statement that fails, naming statement.
    std::vector<ResultPtr> RunSimple(const QByteArray& text, const QString& statement);

    // A new cursor name; the cursor counts as open until CursorFinished.
    QByteArray OpenCursorName();
    // The cursor is no longer read; the server's copy is closed along with a later statement.
    void CursorFinished(const QByteArray& name);
    // The cursor was never made on the server (its statement failed).
    void CursorFailed(const QByteArray& name) { openCursors_.erase(name); }
    // "CLOSE ALL; " when finished cursors wait and none is read any more, else "". After the statement that
    // carried it succeeded, call ClosedAll.
    QByteArray CloseStatement() const;
    void ClosedAll() { finishedCursors_.clear(); }

    // Healthy and idle: no transaction open, every finished cursor closed.
    bool Reusable();
    // True once the connection is lost: libpq says so, or a statement failed because the server ended the
    // session or could not be reached. A lost connection is never healthy again.
    bool Broken() const { return broken_ || PQstatus(connection_) != CONNECTION_OK; }

private:
    // The error of a statement that failed (see StatementError); notes a lost connection.
    Error Failure(const PGresult* result, const QString& statement);
    void ApplyStatementTimeout(const QString& statement);
    // Waits until the server's next answer has arrived. The server's statement time-out does not cover the
    // rows a cursor keeps when its transaction ends; a statement still running past deadline is cancelled.
    void AwaitAnswer(std::chrono::steady_clock::time_point deadline, bool& cancelled);
    QByteArray Prepare(const QByteArray& key, const QByteArray& text, const std::vector<Oid>& types,
                       const QString& statement);
    void Evict();
    // Reads the answers of a flight of calls and leaves pipeline mode; see RunFlight.
    std::vector<ResultPtr> ReadFlight(const std::vector<PreparedCall>& calls);
    // Deallocates the prepared statement of that name on the server; a failure only leaves it there.
    void Deallocate(const QByteArray& name);

    struct Prepared {
        QByteArray name;
        quint64 lastUse = 0;
        int runs = 0;  // since it was prepared
    };

    PGconn* connection_;
    int appliedTimeoutMs_;
    int wantedTimeoutMs_;
    QHash<QByteArray, Prepared> prepared_;
    quint64 uses_ = 0;
    quint64 names_ = 0;
    std::set<QByteArray> openCursors_;
    std::vector<QByteArray> finishedCursors_;
    bool broken_ = false;
};

}  // namespace ado::postgresql
