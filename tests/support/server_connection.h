#pragma once
// A plain libpq connection to a database of the test server, for what the object model must not do for a
// test: hold a row lock from another session, create databases, read the server's own views.

#include <libpq-fe.h>

#include <QString>

namespace testsupport {

class ServerConnection {
public:
    // Connects as the operating-system user to the named database. Raises std::runtime_error when the
    // server refuses.
    explicit ServerConnection(const QString& database);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // Runs sql (one or more statements) and returns the first value of the last result, "" when it has no
    // row. Raises std::runtime_error when a statement fails.
    QString Exec(const QString& sql);

private:
    PGconn* connection_;
};

// The catalog (Initial Catalog) of a server connection string.
QString CatalogOf(const QString& connectionString);

// "<socket folder>,<port>" of the test server, as a Data Source.
QString ServerDataSource();

}  // namespace testsupport
