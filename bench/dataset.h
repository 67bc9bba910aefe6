#pragma once
// The generated data a case runs on: one folder per engine and size holding the settings (config/), the
// product's files (data/) and pristine copies to restore from (pristine/). On the server the catalog
// "Kestrane" holds the main tables, with the generated Blacklist kept aside in bench_pristine_blacklist; the
// catalog's comment names the dataset it holds, since only one can be loaded at a time.

#include "bench/direct_sql.h"
#include "bench/workspace.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bench {

enum class EngineKind { Sqlite, Postgres };

// "sqlite" or "postgresql", as the command line and the reports write it.
std::string EngineName(EngineKind engine);

struct DatasetSize {
    std::string name;  // small, medium, large
    int clients = 0;   // kestrane-admin generate --clients; the other tables' sizes follow from it
};

// small (1,000 clients), medium (30,000) and large (300,000).
const std::vector<DatasetSize>& KnownSizes();

struct Dataset {
    EngineKind engine = EngineKind::Sqlite;
    DatasetSize size;
    std::filesystem::path folder;
    std::optional<ServerLocation> server;  // set on the server engine
    int userId = 0;                        // the user who schedules the rebuilds
    int agencies = 0;                      // Agencies rows as generated

    std::filesystem::path ConfigHome() const { return folder / "config"; }
    std::filesystem::path DataFolder() const { return folder / "data"; }
    std::filesystem::path PristineFolder() const { return folder / "pristine"; }
    // Direct SQL on the main database (KS.mdb or the catalog). Raises std::runtime_error on failure.
    std::unique_ptr<DirectSql> OpenMain() const;
    // Direct SQL on the users file KS_users.mdb. Raises std::runtime_error on failure.
    std::unique_ptr<DirectSql> OpenUsers() const;
};

// The catalog of the program on the server.
inline const std::string kCatalog = "Kestrane";
// The workstation under which the program runs.
inline const std::string kWorkstation = "BENCH-PC";

// Gives the dataset of engine and size, building it first when its folder is missing or incomplete, or, on
// the server, when the catalog holds another dataset. Progress goes to standard error. Raises
// std::runtime_error when a step of the build fails.
Dataset PrepareDataset(EngineKind engine, const DatasetSize& size, const Workspace& workspace);

}  // namespace bench
