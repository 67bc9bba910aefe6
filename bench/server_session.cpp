#include "bench/server_session.h"

#include <stdexcept>

namespace bench {

ServerSession::ServerSession(const ServerLocation& server, const std::string& database)
    : connection_(PQconnectdb(server.ConnectionInfo(database).c_str())) {
    if (PQstatus(connection_) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(connection_);
        PQfinish(connection_);
        throw std::runtime_error("cannot connect to " + database + " on " + server.DataSource() + ": " +
                                 message);
    }
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
}

ServerSession::~ServerSession() {
    PQfinish(connection_);
}

ServerResult ServerSession::Checked(PGresult* raw, const std::string& what) {
    ServerResult result(raw);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error("PostgreSQL: " + std::string(PQerrorMessage(connection_)) + " in: " + what);
    return result;
}

ServerResult ServerSession::Run(const std::string& sql) {
    return Checked(PQexec(connection_, sql.c_str()), sql.substr(0, 300));
}

void ServerSession::Prepare(const std::string& name, const std::string& sql) {
    Checked(PQprepare(connection_, name.c_str(), sql.c_str(), 0, nullptr), sql);
}

ServerResult ServerSession::RunPrepared(const std::string& name, const std::vector<std::string>& parameters) {
    std::vector<const char*> values;
    for (const std::string& parameter : parameters)
        values.push_back(parameter.c_str());
    return Checked(PQexecPrepared(connection_, name.c_str(), static_cast<int>(values.size()), values.data(),
                                  nullptr, nullptr, 0),
                   name);
}

}  // namespace bench
