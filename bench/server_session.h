#pragma once
// One libpq session: statements with their results owned, prepared statements, and errors raised as
// std::runtime_error. The round-trip floor works on it directly.

#include "bench/direct_sql.h"

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

namespace bench {

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using ServerResult = std::unique_ptr<PGresult, ResultDeleter>;

class ServerSession {
public:
    // Connects as the operating-system user. Raises std::runtime_error when the server refuses.
    ServerSession(const ServerLocation& server, const std::string& database);
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Runs sql (one or more statements) and gives the last result. Raises std::runtime_error on failure.
    ServerResult Run(const std::string& sql);
    // Prepares sql under name. Raises std::runtime_error on failure.
    void Prepare(const std::string& name, const std::string& sql);
    // Runs the prepared statement name with text parameters. Raises std::runtime_error on failure.
    ServerResult RunPrepared(const std::string& name, const std::vector<std::string>& parameters);

private:
    ServerResult Checked(PGresult* result, const std::string& what);

    PGconn* connection_;
};

}  // namespace bench
