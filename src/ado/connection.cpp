#include "ado/connection.h"

#include "ado/recordset.h"
#include "ado/session_pool.h"

namespace ado {

namespace {

// Sessions are shared only between opens of the same provider, string, login and share mode.
QString PoolKey(const QString& provider, const QString& connectionString,
                const provider::OpenOptions& options) {
    return QStringList{provider.toLower(), connectionString, options.userId, options.password,
                       QString::number(options.mode)}
        .join(QChar(0x1f));
}

Error TransactionLost() {
    return Error(E_FAIL_HR, SQL_CONNECTION_LOST,
                 QStringLiteral("The connection to the server was lost inside a transaction; the changes of "
                                "the transaction were not saved."));
}

}  // namespace

Connection::Connection() = default;

Connection::~Connection() {
    if (open_) {
        try {
            Close();
        } catch (const platform::RuntimeError&) {
            // A destructor has nobody to tell; the session is dropped with the connection.
        }
    }
}

void Connection::Open(const QString& connectionString, const QString& userId, const QString& password,
                      int /*options*/) {
    if (open_)
        throw ObjectModelError(ADODB_E_OBJECTOPEN);
    const ConnectionString parsed(connectionString);
    provider::RegisterBuiltInProviders();
    std::shared_ptr<provider::Provider> provider =
        provider::FindProvider(parsed.Get(QStringLiteral("Provider")));
    if (!provider)
        throw Record(ObjectModelError(ADODB_E_PROVIDERNOTFOUND));

    provider_ = std::move(provider);
    providerName_ = provider_->Name();
    connectionString_ = connectionString;
    options_ = provider::OpenOptions{};
    options_.connectionTimeoutSeconds = ConnectionTimeout;
    options_.commandTimeoutSeconds = CommandTimeout;
    options_.mode = Mode;
    options_.userId = userId;
    options_.password = password;
    poolKey_ = PoolKey(providerName_, connectionString, options_);
    session_ = OpenSession(true);
    open_ = true;
}

std::unique_ptr<provider::Session> Connection::OpenSession(bool pooled) {
    std::unique_ptr<provider::Session> session = pooled ? pool::Take(poolKey_) : nullptr;
    if (!session) {
        try {
            session = provider_->Open(ConnectionString(connectionString_), options_);
        } catch (const Error& err) {
            throw Record(err);
        }
    }
    session->SetCommandTimeout(CommandTimeout);
    ++sessionNumber_;
    return session;
}

void Connection::Close() {
    if (!open_)
        throw ObjectModelError(ADODB_E_OBJECTCLOSED);
    // Closing a recordset takes it off the list.
    while (!recordsets_.empty())
        recordsets_.back()->Close();
    open_ = false;
    inTransaction_ = false;
    transactionLost_ = false;
    std::unique_ptr<provider::Session> session = std::move(session_);
    if (!session)
        return;  // lost, with nothing left to commit or to keep
    // Closing commits what the engine still holds back; when that fails the session is not pooled.
    try {
        session->Flush();
    } catch (const Error& err) {
        throw Record(err);
    }
    pool::Give(poolKey_, std::move(session));
}

void Connection::Execute(const QString& sql, int64_t* recordsAffected, int /*options*/) {
    const int64_t affected = OnSession([&](provider::Session& session) { return session.Execute(sql); });
    if (recordsAffected)
        *recordsAffected = affected;
}

bool Connection::CarriesLists() {
    try {
        return GetSession().CarriesLists();
    } catch (const Error&) {
        return false;
    }
}

std::vector<bool> Connection::HasRows(const std::vector<QString>& queries) {
    return OnSession([&](provider::Session& session) { return session.HasRows(queries); });
}

void Connection::InsertAll(const QString& source, const std::vector<QString>& columns,
                           const std::vector<std::vector<Variant>>& rows) {
    OnSession([&](provider::Session& session) {
        session.InsertAll(session.UpdatableTable(source), columns, rows);
    });
}

void Connection::BeginTrans() {
    Execute(QStringLiteral("BEGIN"));
    inTransaction_ = true;
}

void Connection::CommitTrans() {
    if (EndTransaction())
        throw Record(TransactionLost());
    Execute(QStringLiteral("COMMIT"));
}

void Connection::RollbackTrans() {
    if (EndTransaction())
        return;
    Execute(QStringLiteral("ROLLBACK"));
}

bool Connection::EndTransaction() {
    const bool lost = transactionLost_;
    inTransaction_ = false;
    transactionLost_ = false;
    return lost;
}

provider::Session& Connection::GetSession() {
    if (!open_)
        throw ObjectModelError(ADODB_E_OBJECTCLOSED);
    if (!session_) {
        if (transactionLost_)
            throw Record(TransactionLost());
        session_ = OpenSession(false);
    }
    return *session_;
}

const Error& Connection::Record(const Error& err) {
    // As in ADO, a new error replaces the collection's entries.
    errors_.Clear();
    errors_.Add(err.ToEntry(providerName_));
    // A broken session is dropped, never pooled; the next call opens a new one.
    if (session_ && session_->Broken()) {
        session_.reset();
        transactionLost_ = inTransaction_;
    }
    return err;
}

void CreateDatabase(const QString& connectionString) {
    const ConnectionString parsed(connectionString);
    provider::RegisterBuiltInProviders();
    const std::shared_ptr<provider::Provider> provider =
        provider::FindProvider(parsed.Get(QStringLiteral("Provider")));
    if (!provider)
        throw ObjectModelError(ADODB_E_PROVIDERNOTFOUND);
    provider->CreateDatabase(parsed);
}

void ClearConnectionPool() {
    pool::Clear();
}

}  // namespace ado
