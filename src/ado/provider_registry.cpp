// The providers that Provider= can name.
#include "ado/provider.h"

#include "ado/error.h"
#include "ado/postgresql/provider.h"
#include "ado/sqlite/provider.h"

#include <QHash>

#include <mutex>

namespace ado::provider {

namespace {

struct Registry {
    std::mutex mutex;
    QHash<QString, std::shared_ptr<Provider>> byName;  // keyed by the lower-case name
};

Registry& GetRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

void RegisterProvider(std::shared_ptr<Provider> provider) {
    Registry& registry = GetRegistry();
    const std::lock_guard lock(registry.mutex);
    registry.byName.insert(provider->Name().toLower(), std::move(provider));
}

std::shared_ptr<Provider> FindProvider(const QString& name) {
    Registry& registry = GetRegistry();
    const std::lock_guard lock(registry.mutex);
    return registry.byName.value(name.toLower());
}

void RegisterBuiltInProviders() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::vector<std::shared_ptr<Provider>> builtIn{sqlite::MakeProvider(), postgresql::MakeProvider()};
        for (auto& provider : builtIn) {
            if (!FindProvider(provider->Name()))
                RegisterProvider(std::move(provider));
        }
    });
}

}  // namespace ado::provider
