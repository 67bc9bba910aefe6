// Plain SQL on a SQLite file through the C API.
#include "bench/direct_sql.h"

#include <sqlite3.h>

#include <stdexcept>

namespace bench {

namespace {

class SqliteSql : public DirectSql {
public:
    explicit SqliteSql(const std::string& file) {
        if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw std::runtime_error("cannot open " + file + ": " + message);
        }
        sqlite3_busy_timeout(db_, 10000);
    }
    ~SqliteSql() override { sqlite3_close(db_); }
    SqliteSql(const SqliteSql&) = delete;
    SqliteSql& operator=(const SqliteSql&) = delete;

    void Exec(const std::string& sql) override {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : sqlite3_errmsg(db_);
            sqlite3_free(error);
            throw std::runtime_error("SQLite: " + message + " in: " + sql.substr(0, 300));
        }
    }

    std::vector<Row> Query(const std::string& sql) override {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db_) + " in: " + sql);
        std::vector<Row> rows;
        int step;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            Row row;
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const unsigned char* text = sqlite3_column_text(statement, column);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "<null>");
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(statement);
        if (step != SQLITE_DONE)
            throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db_) + " in: " + sql);
        return rows;
    }

    std::string TimestampLiteral(const std::string& text) const override { return SqlText(text); }

private:
    sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<DirectSql> OpenSqliteFile(const std::string& file) {
    return std::make_unique<SqliteSql>(file);
}

}  // namespace bench
