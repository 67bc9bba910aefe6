#include "ado/faulty/faulty_provider.h"

#include "ado/connection.h"
#include "ado/error.h"

#include <type_traits>

namespace ado::faulty {

namespace {

// A session of the wrapped provider whose calls may fail first.
class FaultySession : public provider::Session {
public:
    FaultySession(std::shared_ptr<FaultyProvider> owner, std::unique_ptr<provider::Session> inner)
        : owner_(std::move(owner)), inner_(std::move(inner)) {}

private:
    // Runs call between the faults due before and after it.
    template <typename Call>
    auto Run(Operation operation, const QString& subject, Call call) {
        owner_->MaybeFail(operation, subject);
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            owner_->MaybeFail(operation, subject, true);
        } else {
            auto result = call();
            owner_->MaybeFail(operation, subject, true);
            return result;
        }
    }

public:
    std::unique_ptr<provider::Cursor> Query(const QString& sql, provider::Reading reading) override {
        return Run(Operation::Query, sql, [&] { return inner_->Query(sql, reading); });
    }
    int64_t Execute(const QString& sql) override {
        return Run(Operation::Execute, sql, [&] { return inner_->Execute(sql); });
    }
    provider::TableKey UpdatableTable(const QString& sql) override {
        return Run(Operation::UpdatableTable, sql, [&] { return inner_->UpdatableTable(sql); });
    }
    std::unique_ptr<provider::Cursor> SelectByKey(const provider::TableKey& table,
                                                  const Variant& key) override {
        return Run(Operation::SelectByKey, table.table, [&] { return inner_->SelectByKey(table, key); });
    }
    Variant Insert(const provider::TableKey& table, const std::vector<QString>& columns,
                   const std::vector<Variant>& values) override {
        return Run(Operation::Insert, table.table, [&] { return inner_->Insert(table, columns, values); });
    }
    int64_t Update(const provider::TableKey& table, const Variant& key, const std::vector<QString>& columns,
                   const std::vector<Variant>& values) override {
        return Run(Operation::Update, table.table,
                   [&] { return inner_->Update(table, key, columns, values); });
    }
    int64_t Delete(const provider::TableKey& table, const Variant& key) override {
        return Run(Operation::Delete, table.table, [&] { return inner_->Delete(table, key); });
    }
    bool CarriesLists() const override { return inner_->CarriesLists(); }
    std::vector<bool> HasRows(const std::vector<QString>& queries) override {
        return Run(Operation::HasRows, queries.empty() ? QString() : queries.front(),
                   [&] { return inner_->HasRows(queries); });
    }
    void InsertAll(const provider::TableKey& table, const std::vector<QString>& columns,
                   const std::vector<std::vector<Variant>>& rows) override {
        Run(Operation::InsertAll, table.table, [&] { inner_->InsertAll(table, columns, rows); });
    }
    void RefreshCache() override {
        Run(Operation::RefreshCache, {}, [&] { inner_->RefreshCache(); });
    }
    void SetCommandTimeout(int seconds) override { inner_->SetCommandTimeout(seconds); }
    bool Reusable() override { return inner_->Reusable(); }
    bool Broken() override { return inner_->Broken(); }
    bool CanBreak() const override { return inner_->CanBreak(); }
    void Flush() override { inner_->Flush(); }

private:
    std::shared_ptr<FaultyProvider> owner_;
    std::unique_ptr<provider::Session> inner_;
};

}  // namespace

std::shared_ptr<FaultyProvider> FaultyProvider::Install(const QString& providerName) {
    provider::RegisterBuiltInProviders();
    std::shared_ptr<provider::Provider> inner = provider::FindProvider(providerName);
    if (!inner)
        throw ObjectModelError(ADODB_E_PROVIDERNOTFOUND);
    std::shared_ptr<FaultyProvider> wrapper(new FaultyProvider(std::move(inner)));
    provider::RegisterProvider(wrapper);
    // Pooled sessions of the real provider would bypass the wrapper.
    ClearConnectionPool();
    return wrapper;
}

void FaultyProvider::Uninstall() {
    provider::RegisterProvider(inner_);
    ClearConnectionPool();
}

void FaultyProvider::Add(Fault fault) {
    const std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

void FaultyProvider::Clear() {
    const std::lock_guard lock(mutex_);
    faults_.clear();
}

int FaultyProvider::Calls(Operation operation) const {
    const std::lock_guard lock(mutex_);
    return calls_.at(static_cast<size_t>(operation));
}

QString FaultyProvider::Name() const {
    return inner_->Name();
}

std::unique_ptr<provider::Session> FaultyProvider::Open(const ConnectionString& connection,
                                                        const provider::OpenOptions& options) {
    MaybeFail(Operation::Open, connection.Text());
    return std::make_unique<FaultySession>(shared_from_this(), inner_->Open(connection, options));
}

void FaultyProvider::MaybeFail(Operation operation, const QString& subject, bool afterCall) {
    const std::lock_guard lock(mutex_);
    if (!afterCall)
        ++calls_.at(static_cast<size_t>(operation));
    // Each fault counts the calls it matches; the first one due fails the call.
    for (Fault& fault : faults_) {
        if (fault.operation != operation || fault.count == 0 || fault.afterCall != afterCall)
            continue;
        if (fault.matches && !fault.matches(subject))
            continue;
        if (fault.skip > 0) {
            --fault.skip;
            continue;
        }
        if (fault.count > 0)
            --fault.count;
        throw Error(fault.hresult, fault.nativeError, fault.description, subject);
    }
}

}  // namespace ado::faulty
