#pragma once
// A session on the server: the program's statements translated to the server's dialect, the updatable
// recordsets' writes by key, and the libpq connection settings made from the connection string.

#include "ado/postgresql/link.h"
#include "ado/postgresql/tables.h"
#include "ado/provider.h"

#include <QString>

#include <memory>
#include <vector>

namespace ado::postgresql {

inline const QString kProviderName = QStringLiteral("SQLOLEDB.1");

// Fixed wait for a lock held by another connection before the lock error is raised.
inline constexpr int kLockTimeoutMs = 100;

// The libpq keywords and values for a connection string and the Open options: Data Source (a host,
// "host,port" or a socket folder), Initial Catalog, Integrated Security=SSPI (the operating-system user, no
// password) or UID/Pwd, the time-outs.
std::vector<std::pair<QByteArray, QByteArray>> ConnectionParameters(const ConnectionString& connection,
                                                                    const provider::OpenOptions& options);

class Session final : public provider::Session {
public:
    explicit Session(std::shared_ptr<Link> link) : link_(std::move(link)) {}

    std::unique_ptr<provider::Cursor> Query(const QString& sql, provider::Reading reading) override;
    int64_t Execute(const QString& sql) override;
    provider::TableKey UpdatableTable(const QString& sql) override;
    std::unique_ptr<provider::Cursor> SelectByKey(const provider::TableKey& table,
                                                  const Variant& key) override;
    Variant Insert(const provider::TableKey& table, const std::vector<QString>& columns,
                   const std::vector<Variant>& values) override;
    int64_t Update(const provider::TableKey& table, const Variant& key, const std::vector<QString>& columns,
                   const std::vector<Variant>& values) override;
    int64_t Delete(const provider::TableKey& table, const Variant& key) override;
    bool CarriesLists() const override { return true; }
    std::vector<bool> HasRows(const std::vector<QString>& queries) override;
    void InsertAll(const provider::TableKey& table, const std::vector<QString>& columns,
                   const std::vector<std::vector<Variant>>& rows) override;
    void RefreshCache() override {}  // the server's readers see committed writes at once
    void SetCommandTimeout(int seconds) override { link_->SetStatementTimeout(seconds * 1000); }
    bool Reusable() override { return link_->Reusable(); }
    bool Broken() override { return link_->Broken(); }
    bool CanBreak() const override { return true; }

private:
    // Translates sql and traces it; returns the statements of the batch.
    std::vector<QString> Translate(const QString& sql);
    ResultPtr RunBuilt(const QString& sql, const ParameterValues& values);
    // "INSERT INTO table (columns) VALUES ($1, ...) RETURNING key".
    QString InsertText(const provider::TableKey& table, const std::vector<QString>& columns);

    std::shared_ptr<Link> link_;
    TableCatalog tables_;
};

class Provider final : public provider::Provider {
public:
    QString Name() const override { return kProviderName; }
    std::unique_ptr<provider::Session> Open(const ConnectionString& connection,
                                            const provider::OpenOptions& options) override;
};

}  // namespace ado::postgresql
