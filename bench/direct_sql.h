#pragma once
// Plain SQL on a product database, below the program's object model: the SQLite C API on a file or libpq on
// the server. The bench restores state, arranges its cases, runs the set-based rebuild and reads results
// through it. The same statement text serves both engines where it names tables and fields in lower case
// with double quotes around names that hold blanks ("court charges"), which both engines read alike.

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace bench {

using Row = std::vector<std::string>;  // a Null reads as "<null>"

class DirectSql {
public:
    virtual ~DirectSql() = default;
    // Runs one or more statements. Raises std::runtime_error with the engine's message when one fails.
    virtual void Exec(const std::string& sql) = 0;
    // The rows of one query as text. Raises std::runtime_error when it fails.
    virtual std::vector<Row> Query(const std::string& sql) = 0;
    // A literal of a timestamp written "YYYY-MM-DD HH:MM:SS", as the engine stores dates.
    virtual std::string TimestampLiteral(const std::string& text) const = 0;

    // The first value of the first row of query, as a number; 0 when there is no row or it is Null.
    long long QueryNumber(const std::string& sql);
};

// Opens an existing SQLite database file. Raises std::runtime_error when it is missing or cannot be opened.
std::unique_ptr<DirectSql> OpenSqliteFile(const std::string& file);

// Where the PostgreSQL server is: a socket folder or host, and a port.
struct ServerLocation {
    std::string host;
    std::string port;

    // "host,port", as the program's settings name a server.
    std::string DataSource() const { return host + ',' + port; }
    // A libpq connection string for database, as the operating-system user.
    std::string ConnectionInfo(const std::string& database) const;
};

// Connects to a database on the server. Raises std::runtime_error when the server refuses.
std::unique_ptr<DirectSql> OpenServerDatabase(const ServerLocation& server, const std::string& database);

// Quotes text as an SQL string literal.
std::string SqlText(const std::string& text);

// A moment as local time "YYYY-MM-DD HH:MM:SS", the form in which the product stores dates.
std::string LocalTimestampText(std::time_t moment);

}  // namespace bench
