// Building and finding the generated datasets.
#include "bench/dataset.h"

#include "bench/program_run.h"
#include "bench/server_session.h"

#include <chrono>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace bench {

namespace fs = std::filesystem;

namespace {

// The same seed everywhere, so that a size means the same rows on both engines and on every machine.
constexpr int kSeed = 20261205;
const std::string kMainFile = "KS.mdb";
const std::string kUsersFile = "KS_users.mdb";

// What a complete dataset writes into its ready file and, on the server, into the catalog's comment.
std::string Marker(EngineKind engine, const DatasetSize& size) {
    return "kestrane-bench " + EngineName(engine) + " " + size.name +
           " clients=" + std::to_string(size.clients) + " seed=" + std::to_string(kSeed);
}

std::string CatalogComment(const ServerLocation& server) {
    ServerSession postgres(server, "postgres");
    const ServerResult result = postgres.Run(
        "SELECT shobj_description(oid, 'pg_database') FROM pg_database WHERE datname = " + SqlText(kCatalog));
    if (PQntuples(result.get()) == 0 || PQgetisnull(result.get(), 0, 0))
        return "";
    return PQgetvalue(result.get(), 0, 0);
}

bool IsReady(const Dataset& dataset, const std::string& marker) {
    if (ReadTextFile(dataset.folder / "ready") != marker)
        return false;
    return dataset.engine == EngineKind::Sqlite || CatalogComment(*dataset.server) == marker;
}

// Runs one kestrane-admin command on the dataset's settings and gives its standard output.
std::string Admin(const Dataset& dataset, const Workspace& workspace,
                  const std::vector<std::string>& arguments) {
    const fs::path output = dataset.folder / ("admin-" + arguments.front() + ".out");
    const ChildOutcome outcome =
        RunChild(UnattendedCommand(workspace, "kestrane-admin", dataset.ConfigHome(), arguments, output));
    if (outcome.exitStatus != 0) {
        throw std::runtime_error("kestrane-admin " + arguments.front() +
                                 " failed: " + ReadTextFile(output.string() + ".err"));
    }
    return ReadTextFile(output);
}

// The options that name where the data is: the data folder, and on the server engine the server as well
// (the users file stays in the data folder).
std::vector<std::string> LocationArguments(const Dataset& dataset) {
    std::vector<std::string> arguments{"--data-path", dataset.DataFolder().string() + "/"};
    if (dataset.server)
        arguments.insert(arguments.end(), {"--server", dataset.server->DataSource()});
    return arguments;
}

std::vector<std::string> Joined(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

void Build(const Dataset& dataset, const Workspace& workspace, const std::string& marker) {
    const auto start = std::chrono::steady_clock::now();
    std::cerr << "Building the " << EngineName(dataset.engine) << " " << dataset.size.name << " dataset ("
              << dataset.size.clients << " clients) in " << dataset.folder.string() << " ..." << std::endl;
    fs::remove_all(dataset.folder);
    fs::create_directories(dataset.ConfigHome());
    fs::create_directories(dataset.PristineFolder());
    if (dataset.server) {
        ServerSession(*dataset.server, "postgres")
            .Run("DROP DATABASE IF EXISTS \"" + kCatalog + "\" WITH (FORCE)");
    }

    const std::vector<std::string> location = LocationArguments(dataset);
    Admin(dataset, workspace, Joined({"init"}, location));
    Admin(dataset, workspace, Joined({"configure", "--workstation", kWorkstation}, location));
    Admin(dataset, workspace, {"add-user", "Bench Runner"});
    Admin(dataset, workspace, {"add-workstation", kWorkstation});
    std::cerr << Admin(
        dataset, workspace,
        {"generate", "--clients", std::to_string(dataset.size.clients), "--seed", std::to_string(kSeed)});

    {
        // The agency of the agency case refuses all four kinds of offence.
        const std::unique_ptr<DirectSql> main = dataset.OpenMain();
        main->Exec(
            "UPDATE agencies SET no_drug_offenders = 1, no_sex_offenders = 1, no_theft_offenders = 1, "
            "no_violent_offenders = 1 WHERE id = 1");
        if (dataset.server) {
            main->Exec("CREATE TABLE bench_pristine_blacklist AS SELECT * FROM blacklist");
            // Planner statistics as autovacuum would soon have them, but at a known moment.
            main->Exec("VACUUM ANALYZE");
        }
    }
    if (!dataset.server)
        fs::copy_file(dataset.DataFolder() / kMainFile, dataset.PristineFolder() / kMainFile);
    fs::copy_file(dataset.DataFolder() / kUsersFile, dataset.PristineFolder() / kUsersFile);
    if (dataset.server) {
        ServerSession(*dataset.server, "postgres")
            .Run("COMMENT ON DATABASE \"" + kCatalog + "\" IS " + SqlText(marker));
    }
    std::ofstream(dataset.folder / "ready") << marker;
    std::cerr << "Built in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s"
              << std::endl;
}

}  // namespace

std::string EngineName(EngineKind engine) {
    return engine == EngineKind::Sqlite ? "sqlite" : "postgresql";
}

const std::vector<DatasetSize>& KnownSizes() {
    static const std::vector<DatasetSize> sizes{{"small", 1000}, {"medium", 30000}, {"large", 300000}};
    return sizes;
}

std::unique_ptr<DirectSql> Dataset::OpenMain() const {
    if (server)
        return OpenServerDatabase(*server, kCatalog);
    return OpenSqliteFile((DataFolder() / kMainFile).string());
}

std::unique_ptr<DirectSql> Dataset::OpenUsers() const {
    return OpenSqliteFile((DataFolder() / kUsersFile).string());
}

Dataset PrepareDataset(EngineKind engine, const DatasetSize& size, const Workspace& workspace) {
    Dataset dataset;
    dataset.engine = engine;
    dataset.size = size;
    dataset.folder = workspace.dataRoot / (EngineName(engine) + "-" + size.name);
    if (engine == EngineKind::Postgres) {
        if (!workspace.server)
            throw std::runtime_error("no PostgreSQL server (KESTRANE_TEST_PG_HOST is not set)");
        dataset.server = workspace.server;
    }
    const std::string marker = Marker(engine, size);
    if (!IsReady(dataset, marker))
        Build(dataset, workspace, marker);
    dataset.userId =
        static_cast<int>(dataset.OpenUsers()->QueryNumber("SELECT MIN(id) FROM \"application user list\""));
    dataset.agencies = static_cast<int>(dataset.OpenMain()->QueryNumber("SELECT COUNT(*) FROM agencies"));
    return dataset;
}

}  // namespace bench
