// Plain SQL on the PostgreSQL server through libpq.
#include "bench/direct_sql.h"
#include "bench/server_session.h"

#include <stdexcept>

namespace bench {

namespace {

class PostgresSql : public DirectSql {
public:
    PostgresSql(const ServerLocation& server, const std::string& database) : session_(server, database) {}

    void Exec(const std::string& sql) override { session_.Run(sql); }

    std::vector<Row> Query(const std::string& sql) override {
        const ServerResult result = session_.Run(sql);
        std::vector<Row> rows;
        for (int row = 0; row < PQntuples(result.get()); ++row) {
            Row values;
            for (int column = 0; column < PQnfields(result.get()); ++column) {
                values.emplace_back(PQgetisnull(result.get(), row, column)
                                        ? "<null>"
                                        : PQgetvalue(result.get(), row, column));
            }
            rows.push_back(std::move(values));
        }
        return rows;
    }

    std::string TimestampLiteral(const std::string& text) const override {
        return "TIMESTAMP " + SqlText(text);
    }

private:
    ServerSession session_;
};

}  // namespace

std::unique_ptr<DirectSql> OpenServerDatabase(const ServerLocation& server, const std::string& database) {
    return std::make_unique<PostgresSql>(server, database);
}

}  // namespace bench
