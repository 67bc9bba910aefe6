#include "bench/catalog_sessions.h"

#include "bench/dataset.h"

#include <chrono>
#include <thread>

namespace bench {

CatalogSessions::CatalogSessions(const ServerLocation& server) : postgres_(server, "postgres") {}

long long CatalogSessions::SettledCount() {
    // A session's statistics reach the shared counters when its server process ends, which may be a moment
    // after the client has gone.
    const std::string connected =
        "SELECT COUNT(*) FROM pg_stat_activity WHERE datname = " + SqlText(kCatalog);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::string(PQgetvalue(postgres_.Run(connected).get(), 0, 0)) != "0" &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const ServerResult count =
        postgres_.Run("SELECT sessions FROM pg_stat_database WHERE datname = " + SqlText(kCatalog));
    return PQntuples(count.get()) == 0 ? 0 : std::atoll(PQgetvalue(count.get(), 0, 0));
}

}  // namespace bench
