#pragma once
// A provider that wraps a real one and fails chosen calls on demand. It stands in for engine conditions
// that cannot be produced at will (a time-out on the 3rd open, six E_FAILs in a row) in error-path tests.

#include "ado/provider.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ado::faulty {

enum class Operation {
    Open,
    Query,
    Execute,
    UpdatableTable,
    SelectByKey,
    Insert,
    Update,
    Delete,
    RefreshCache,
    HasRows,
    InsertAll
};

struct Fault {
    Operation operation = Operation::Open;
    int32_t hresult = -2147467259;  // E_FAIL
    int32_t nativeError = 0;
    QString description = QStringLiteral("Injected failure");
    int skip = 0;   // matching calls let through before the first failure
    int count = 1;  // failures in a row, then the fault is spent; -1 fails for ever
    // The call runs first and then fails, as when its answer is lost on the way back (the connection broke
    // after the engine did the work).
    bool afterCall = false;
    // Only calls whose statement (or table name, or connection string for Open) this accepts are matched;
    // empty matches every call.
    std::function<bool(const QString&)> matches;
};

class FaultyProvider : public provider::Provider, public std::enable_shared_from_this<FaultyProvider> {
public:
    // Wraps the provider registered under name and registers the wrapper in its place.
    static std::shared_ptr<FaultyProvider> Install(const QString& providerName);
    // Puts the wrapped provider back.
    void Uninstall();

    // Adds a fault; faults are tried in the order added.
    void Add(Fault fault);
    void Clear();
    // Calls of an operation seen so far (failed ones included).
    int Calls(Operation operation) const;

    QString Name() const override;
    std::unique_ptr<provider::Session> Open(const ConnectionString& connection,
                                            const provider::OpenOptions& options) override;

    // Raises the matching fault, if any, for a call of operation on subject, before the call or (afterCall)
    // after it. Used by the wrapped sessions.
    void MaybeFail(Operation operation, const QString& subject, bool afterCall = false);

private:
    explicit FaultyProvider(std::shared_ptr<provider::Provider> inner) : inner_(std::move(inner)) {}
    std::shared_ptr<provider::Provider> inner_;
    mutable std::mutex mutex_;
    std::vector<Fault> faults_;
    std::vector<int> calls_ = std::vector<int>(static_cast<size_t>(Operation::InsertAll) + 1, 0);
};

}  // namespace ado::faulty
