#include "ado/postgresql/link.h"

#include "ado/postgresql/error.h"

#include <poll.h>

#include <cerrno>

namespace ado::postgresql {

namespace {

// Prepared statements kept per connection; the least recently used one goes when the cache is full.
constexpr int kPreparedCapacity = 256;
// Runs after which a prepared statement is prepared anew, so that its plan is chosen for the table as it is
// now.
constexpr int kReplanAfterRuns = 250;

// How long past the statement time-out a statement may still run before it is cancelled from here.
constexpr int kCancelGraceMs = 1000;

bool Succeeded(const PGresult* result) {
    switch (PQresultStatus(result)) {
        case PGRES_COMMAND_OK:
        case PGRES_TUPLES_OK:
        case PGRES_EMPTY_QUERY:
            return true;
        default:
            return false;
    }
}

// The values as libpq takes them: text, or a null pointer for NULL. They point into values.
std::vector<const char*> ValuePointers(const ParameterValues& values) {
    std::vector<const char*> pointers;
    pointers.reserve(values.size());
    for (const auto& value : values)
        pointers.push_back(value ? value->constData() : nullptr);
    return pointers;
}

bool IsMissingPreparedStatement(const PGresult* result) {
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    return state && QByteArray(state) == "26000";
}

}  // namespace

Link::Link(PGconn* connection, int statementTimeoutMs)
    : connection_(connection), appliedTimeoutMs_(statementTimeoutMs), wantedTimeoutMs_(statementTimeoutMs) {}

Link::~Link() {
    PQfinish(connection_);
}

Error Link::Failure(const PGresult* result, const QString& statement) {
    Error error = StatementError(connection_, result, statement);
    if (error.NativeError() == SQL_CONNECTION_LOST)
        broken_ = true;
    return error;
}

void Link::ApplyStatementTimeout(const QString& statement) {
    if (wantedTimeoutMs_ == appliedTimeoutMs_)
        return;
    const QByteArray set = "SET statement_timeout = " + QByteArray::number(wantedTimeoutMs_);
    ResultPtr result(PQexec(connection_, set.constData()));
    if (!Succeeded(result.get()))
        throw Failure(result.get(), statement);
    appliedTimeoutMs_ = wantedTimeoutMs_;
}

QByteArray Link::Prepare(const QByteArray& key, const QByteArray& text, const std::vector<Oid>& types,
                         const QString& statement) {
    auto found = prepared_.find(key);
    if (found != prepared_.end() && found->runs >= kReplanAfterRuns) {
        // The server keeps the plan it chose early in the statement's life, when the table may have been
        // much smaller (a sequential scan of a few rows); prepared anew, the plan follows the table's size.
        Deallocate(found->name);
        prepared_.erase(found);
        found = prepared_.end();
    }
    if (found != prepared_.end()) {
        found->lastUse = ++uses_;
        ++found->runs;
        return found->name;
    }
    if (prepared_.size() >= kPreparedCapacity)
        Evict();
    const QByteArray name = "ks" + QByteArray::number(++names_);
    ResultPtr result(PQprepare(connection_, name.constData(), text.constData(),
                               static_cast<int>(types.size()), types.data()));
    if (!Succeeded(result.get()))
        throw Failure(result.get(), statement);
    prepared_.insert(key, Prepared{name, ++uses_, 1});
    return name;
}

void Link::Evict() {
    auto oldest = prepared_.begin();
    for (auto it = prepared_.begin(); it != prepared_.end(); ++it) {
        if (it->lastUse < oldest->lastUse)
            oldest = it;
    }
    Deallocate(oldest->name);
    prepared_.erase(oldest);
}

void Link::Deallocate(const QByteArray& name) {
    const QByteArray deallocate = "DEALLOCATE " + name;
    ResultPtr result(PQexec(connection_, deallocate.constData()));
}

ResultPtr Link::RunPrepared(const QByteArray& key, const QByteArray& text, const std::vector<Oid>& types,
                            const ParameterValues& values, const QString& statement) {
    ApplyStatementTimeout(statement);
    const std::vector<const char*> pointers = ValuePointers(values);

    for (int attempt = 0;; ++attempt) {
        const QByteArray name = Prepare(key, text, types, statement);
        ResultPtr result(PQexecPrepared(connection_, name.constData(), static_cast<int>(pointers.size()),
                                        pointers.data(), nullptr, nullptr, 0));
        if (Succeeded(result.get()))
            return result;
        // A statement deallocated behind the cache's back (DISCARD, DEALLOCATE ALL) is prepared again once.
        if (attempt == 0 && IsMissingPreparedStatement(result.get())) {
            prepared_.remove(key);
            continue;
        }
        throw Failure(result.get(), statement);
    }
}

void Link::AwaitAnswer(std::chrono::steady_clock::time_point deadline, bool& cancelled) {
    while (PQisBusy(connection_)) {
        int waitMs = -1;
        if (!cancelled && wantedTimeoutMs_ > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            waitMs = static_cast<int>(std::max<int64_t>(0, left.count()));
        }
        pollfd socket{PQsocket(connection_), POLLIN, 0};
        const int ready = ::poll(&socket, 1, waitMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            // The server answers the cancel with the time-out's own error.
            PGcancel* cancel = PQgetCancel(connection_);
            char message[256];
            if (cancel)
                PQcancel(cancel, message, sizeof message);
            PQfreeCancel(cancel);
            cancelled = true;
            continue;
        }
        if (!PQconsumeInput(connection_))
            return;  // the connection broke: PQgetResult says so
    }
}

std::vector<ResultPtr> Link::RunFlight(const std::vector<PreparedCall>& calls) {
    if (calls.empty())
        return {};
    ApplyStatementTimeout(calls.front().statement);
    // Each statement is prepared once, before the flight: replanning one during it would take its name from
    // the calls already sent.
    QHash<QByteArray, QByteArray> names;
    for (const PreparedCall& call : calls) {
        if (!names.contains(call.key))
            names.insert(call.key, Prepare(call.key, call.text, call.types, call.statement));
        else
            ++prepared_[call.key].runs;  // each call counts towards the plan's renewal
    }
    if (!PQenterPipelineMode(connection_))
        throw Failure(nullptr, calls.front().statement);
    for (const PreparedCall& call : calls) {
        const std::vector<const char*> pointers = ValuePointers(call.values);
        if (!PQsendQueryPrepared(connection_, names.value(call.key).constData(),
                                 static_cast<int>(pointers.size()), pointers.data(), nullptr, nullptr, 0))
            throw Failure(nullptr, call.statement);
    }
    if (!PQpipelineSync(connection_))
        throw Failure(nullptr, calls.front().statement);
    return ReadFlight(calls);
}

std::vector<ResultPtr> Link::ReadFlight(const std::vector<PreparedCall>& calls) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wantedTimeoutMs_) +
                          std::chrono::milliseconds(kCancelGraceMs);
    bool cancelled = false;
    const auto next = [&]() {
        AwaitAnswer(deadline, cancelled);
        return ResultPtr(PQgetResult(connection_));
    };
    std::vector<ResultPtr> results;
    results.reserve(calls.size());
    ResultPtr failure;
    const QString* failedStatement = &calls.front().statement;
    for (const PreparedCall& call : calls) {
        ResultPtr result = next();
        if (!result || PQstatus(connection_) != CONNECTION_OK)
            throw Failure(nullptr, call.statement);
        // Every call's answer ends with an empty one.
        while (next()) {
        }
        if (Succeeded(result.get())) {
            results.push_back(std::move(result));
        } else if (!failure && PQresultStatus(result.get()) != PGRES_PIPELINE_ABORTED) {
            failure = std::move(result);
            failedStatement = &call.statement;
        }
    }
    ResultPtr sync = next();
    if (!sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC)
        throw Failure(nullptr, *failedStatement);
    PQexitPipelineMode(connection_);
    if (failure)
        throw Failure(failure.get(), *failedStatement);
    return results;
}

std::vector<ResultPtr> Link::RunSimple(const QByteArray& text, const QString& statement) {
    ApplyStatementTimeout(statement);
    std::vector<ResultPtr> results;
    if (!PQsendQuery(connection_, text.constData()))
        throw Failure(nullptr, statement);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wantedTimeoutMs_) +
                          std::chrono::milliseconds(kCancelGraceMs);
    bool cancelled = false;
    ResultPtr failure;
    while (true) {
        AwaitAnswer(deadline, cancelled);
        PGresult* raw = PQgetResult(connection_);
        if (raw == nullptr)
            break;
        ResultPtr result(raw);
        if (failure)
            continue;  // read to the end so that the connection is idle again
        if (Succeeded(result.get())) {
            results.push_back(std::move(result));
        } else {
            failure = std::move(result);
        }
    }
    if (failure)
        throw Failure(failure.get(), statement);
    if (PQstatus(connection_) != CONNECTION_OK)
        throw Failure(nullptr, statement);
    return results;
}

QByteArray Link::OpenCursorName() {
    const QByteArray name = "kc" + QByteArray::number(++names_);
    openCursors_.insert(name);
    return name;
}

void Link::CursorFinished(const QByteArray& name) {
    if (openCursors_.erase(name))
        finishedCursors_.push_back(name);
}

QByteArray Link::CloseStatement() const {
    if (finishedCursors_.empty() || !openCursors_.empty())
        return {};
    return "CLOSE ALL; ";
}

bool Link::Reusable() {
    if (Broken() || PQtransactionStatus(connection_) != PQTRANS_IDLE)
        return false;
    // Between statements the server has nothing to say; input waiting on the socket is the farewell of a
    // session it ended (restart, administrator).
    pollfd socket{PQsocket(connection_), POLLIN, 0};
    if (::poll(&socket, 1, 0) != 0)
        return false;
    if (!openCursors_.empty())
        return false;
    const QByteArray close = CloseStatement();
    if (close.isEmpty())
        return true;
    ResultPtr result(PQexec(connection_, close.constData()));
    if (!Succeeded(result.get()))
        return false;
    ClosedAll();
    return true;
}

}  // namespace ado::postgresql
