#pragma once
// A PostgreSQL server that one test owns, for tests that stop and start the server (the shared test server
// must stay up for the tests that run beside them): a new cluster in a temporary folder, with its own
// socket folder and port, fsync off, run by the postgres user when the test runs as root.

#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class PrivateServer {
public:
    // Makes the cluster and starts it. Raises std::runtime_error when the server binaries are missing or a
    // step fails.
    PrivateServer();
    // Stops the server at once if it runs, then removes its folder. Never fails.
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    // Starts the server and returns once it takes connections. Raises std::runtime_error when it does not.
    void Start();
    // Stop() stops the server as an administrator does (pg_ctl stop -m fast: sessions are ended, the data is
    // written), StopImmediately() as a crash does (-m immediate: every process ends at once, the next start
    // recovers); each returns once it is down and raises std::runtime_error when it does not stop.
    void Stop() { StopWith(QStringLiteral("fast")); }
    void StopImmediately() { StopWith(QStringLiteral("immediate")); }

    // Creates a catalog and returns its SQLOLEDB.1 connection string (integrated security). Raises
    // ado::Error when the server refuses.
    QString NewDatabase(const QString& catalog);
    // "<socket folder>,<port>", as a Data Source.
    QString DataSource() const;

private:
    // Runs a server program (pg_ctl, initdb) as the cluster's owner. Raises std::runtime_error with its
    // output when it fails.
    void RunAsOwner(const QString& program, const QStringList& arguments) const;
    void StopWith(const QString& mode);
    QString Data() const { return dir_.filePath(QStringLiteral("data")); }

    QTemporaryDir dir_;
    QString bin_;
    int port_;
    bool running_ = false;
};

}  // namespace testsupport
