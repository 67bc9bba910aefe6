#include "bench/workspace.h"

#include <cstdlib>

namespace bench {

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

Workspace WorkspaceFromEnvironment() {
    Workspace workspace;
    workspace.binFolder = std::filesystem::canonical("/proc/self/exe").parent_path();
    const std::string dataRoot = Variable("KESTRANE_BENCH_DIR");
    workspace.dataRoot = dataRoot.empty() ? workspace.binFolder.parent_path() / "bench-data"
                                          : std::filesystem::absolute(dataRoot);
    const std::string host = Variable("KESTRANE_TEST_PG_HOST");
    if (!host.empty()) {
        const std::string port = Variable("KESTRANE_TEST_PG_PORT");
        workspace.server = ServerLocation{host, port.empty() ? "5432" : port};
    }
    return workspace;
}

}  // namespace bench
