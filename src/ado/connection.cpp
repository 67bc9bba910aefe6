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

}  // namespace

Connection::Connection() = default;

Connection::~Connection() {
    if (session_) {
        try {
            Close();
        } catch (const platform::RuntimeError&) {
            // A destructor has nobody to tell; the session is dropped with the connection.
        }
    }
}

void Connection::Open(const QString& connectionString, const QString& userId, const QString& password,
                      int /*options*/) {
    if (session_)
        throw ObjectModelError(ADODB_E_OBJECTOPEN);
    const ConnectionString parsed(connectionString);
    provider::RegisterBuiltInProviders();
    const std::shared_ptr<provider::Provider> provider =
        provider::FindProvider(parsed.Get(QStringLiteral("Provider")));
    if (!provider)
        throw Record(ObjectModelError(ADODB_E_PROVIDERNOTFOUND));

    provider::OpenOptions options;
    options.connectionTimeoutSeconds = ConnectionTimeout;
    options.commandTimeoutSeconds = CommandTimeout;
    options.mode = Mode;
    options.userId = userId;
    options.password = password;
    const QString key = PoolKey(provider->Name(), connectionString, options);

    std::unique_ptr<provider::Session> session = pool::Take(key);
    if (!session) {
        try {
            session = provider->Open(parsed, options);
        } catch (const Error& err) {
            providerName_ = provider->Name();
            throw Record(err);
        }
    }
    session->SetCommandTimeout(CommandTimeout);
    session_ = std::move(session);
    poolKey_ = key;
    connectionString_ = connectionString;
    providerName_ = provider->Name();
}

void Connection::Close() {
    if (!session_)
        throw ObjectModelError(ADODB_E_OBJECTCLOSED);
    // Closing a recordset takes it off the list.
    while (!recordsets_.empty())
        recordsets_.back()->Close();
    // Closing commits what the engine still holds back; when that fails the session is not pooled.
    std::unique_ptr<provider::Session> session = std::move(session_);
    try {
        session->Flush();
    } catch (const Error& err) {
        throw Record(err);
    }
    pool::Give(poolKey_, std::move(session));
}

void Connection::Execute(const QString& sql, int64_t* recordsAffected, int /*options*/) {
    provider::Session& session = GetSession();
    try {
        session.SetCommandTimeout(CommandTimeout);
        const int64_t affected = session.Execute(sql);
        if (recordsAffected)
            *recordsAffected = affected;
    } catch (const Error& err) {
        throw Record(err);
    }
}

void Connection::BeginTrans() {
    Execute(QStringLiteral("BEGIN"));
}

void Connection::CommitTrans() {
    Execute(QStringLiteral("COMMIT"));
}

void Connection::RollbackTrans() {
    Execute(QStringLiteral("ROLLBACK"));
}

provider::Session& Connection::GetSession() {
    if (!session_)
        throw ObjectModelError(ADODB_E_OBJECTCLOSED);
    return *session_;
}

const Error& Connection::Record(const Error& err) {
    // As in ADO, a new error replaces the collection's entries.
    errors_.Clear();
    errors_.Add(err.ToEntry(providerName_));
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
