#pragma once
// Where the bench finds the binaries it runs, keeps its datasets, and reaches the PostgreSQL server.

#include "bench/direct_sql.h"

#include <filesystem>
#include <optional>

namespace bench {

struct Workspace {
    std::filesystem::path binFolder;       // the folder of kestrane_bench, the program and kestrane-admin
    std::filesystem::path dataRoot;        // $KESTRANE_BENCH_DIR, default <build>/bench-data
    std::optional<ServerLocation> server;  // from KESTRANE_TEST_PG_HOST and KESTRANE_TEST_PG_PORT
};

// Reads the places from this executable's location and the environment. Never fails; the server is empty
// when KESTRANE_TEST_PG_HOST is not set.
Workspace WorkspaceFromEnvironment();

}  // namespace bench
