#pragma once
// A failing wrapper around one of the real providers, put back when the test ends.

#include "ado/connection.h"
#include "ado/faulty/faulty_provider.h"
#include "ado/provider.h"

#include <QStringList>

#include <memory>

namespace datatest {

inline const QString kJetProvider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");
inline const QString kServerProvider = QStringLiteral("SQLOLEDB.1");

class FaultyEngine {
public:
    explicit FaultyEngine(const QString& providerName = kJetProvider) {
        ado::provider::RegisterBuiltInProviders();
        // Pooled sessions of the real provider would bypass the wrapper.
        ado::ClearConnectionPool();
        provider_ = ado::faulty::FaultyProvider::Install(providerName);
    }
    ~FaultyEngine() {
        provider_->Uninstall();
        ado::ClearConnectionPool();
    }
    FaultyEngine(const FaultyEngine&) = delete;
    FaultyEngine& operator=(const FaultyEngine&) = delete;

    ado::faulty::FaultyProvider* operator->() { return provider_.get(); }

    // count failures in a row of operation with hresult and nativeError.
    void Fail(ado::faulty::Operation operation, int32_t hresult, int count, int32_t nativeError = 0) {
        ado::faulty::Fault fault;
        fault.operation = operation;
        fault.hresult = hresult;
        fault.nativeError = nativeError;
        fault.count = count;
        provider_->Add(fault);
    }

    // Records in into what every call of operation is given (a statement, a connection string); fails none.
    void Record(ado::faulty::Operation operation, QStringList& into) {
        ado::faulty::Fault spy;
        spy.operation = operation;
        spy.matches = [&into](const QString& subject) {
            into << subject;
            return false;
        };
        provider_->Add(spy);
    }

private:
    std::shared_ptr<ado::faulty::FaultyProvider> provider_;
};

}  // namespace datatest
