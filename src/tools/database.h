#pragma once
// One of the product's databases as a command uses it: the connection, and the words that name the database
// in messages. Every database error that leaves it is a CommandFailed that says in plain words what failed
// (the file, the server, the table) and gives the numbers after them. Writes wait out a brief lock.

#include "ado/connection.h"
#include "ado/error.h"
#include "tools/command.h"

#include <QString>

#include <functional>
#include <utility>

namespace tools {

// How long a write waits for a lock held by another program (a running processor) before it gives up.
struct LockWait {
    int seconds = 10;
};

class Database {
public:
    // role names the database in messages ("the main database", "the users database").
    Database(const QString& role, const QString& connectionString);

    // "the users database /srv/ks/KS_users.mdb (SQLite)", "the main database Kestrane on the server db1,5432
    // (PostgreSQL)".
    const QString& Place() const { return place_; }
    bool OnServer() const { return onServer_; }
    const QString& ConnectionString() const { return connectionString_; }
    ado::Connection& Connection() { return connection_; }

    // Opens the connection. Raises CommandFailed (kExitUnavailable) naming the database and the cause.
    void Open();
    // Runs work on the open connection and returns what it returns. An ado::Error of work becomes a
    // CommandFailed that reads "Cannot " + action + " " + Place() + ": " + the cause.
    template <class Work>
    auto Read(const QString& action, Work&& work) -> decltype(work(std::declval<ado::Connection&>())) {
        try {
            return work(connection_);
        } catch (const ado::Error& error) {
            throw Failure(action, error);
        }
    }
    // Runs write on the open connection. While it fails on a lock it is tried again every 250 ms of the
    // program's clock, for wait.seconds at most (standard error says once that it waits); then it raises
    // CommandFailed (kExitLocked). Other database errors raise as Read's do; anything else passes through.
    // write must leave nothing written when it fails.
    void Write(const QString& action, const LockWait& wait, const std::function<void()>& write);
    // True when sql returns a row.
    bool HasRow(const QString& action, const QString& sql);
    // Commits what the engine still holds back and closes. Raises CommandFailed like Read.
    void Close();

    // The failure of action on this database, in words.
    CommandFailed Failure(const QString& action, const ado::Error& error) const;

private:
    QString connectionString_;
    QString place_;
    bool onServer_ = false;
    ado::Connection connection_;
};

// The cause of a database error in plain words ("the file does not exist", "the table Blacklist does not
// exist", "the server refused the login: <the server's message>"), then its numbers
// ("(error -2147467259, native -534578963)"). onServer adds the server's own message where it says more.
QString CauseInWords(const ado::Error& error, bool onServer);

// Text written into a statement as an SQL string literal: quoted, with its apostrophes doubled.
QString SqlText(QString text);

}  // namespace tools
