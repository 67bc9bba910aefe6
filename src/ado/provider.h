#pragma once
// The narrow interface between the object model and an engine. One folder per provider implements it with
// the same file names (connection.cpp, statement.cpp, error.cpp). Providers raise ado::Error.

#include "ado/connection_string.h"
#include "ado/variant.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace ado::provider {

struct Column {
    QString name;
    Variant::Kind kind = Variant::Kind::Null;  // the declared type; Null when the engine gives none
};

// The rows of one statement, read one at a time; the whole result is never held.
class Cursor {
public:
    virtual ~Cursor() = default;
    virtual const std::vector<Column>& Columns() const = 0;
    // Reads the next row into row (one value per column). Returns false at the end.
    virtual bool Next(std::vector<Variant>& row) = 0;
};

// The base table of an updatable statement and its key column.
struct TableKey {
    QString table;      // as the engine names it
    QString keyColumn;  // as the engine names it
};

struct OpenOptions {
    int connectionTimeoutSeconds = 15;  // 0: no limit
    int commandTimeoutSeconds = 30;     // 0: no limit
    int mode = 0;                       // 12 share-exclusive, 3 read/write, 0 unknown
    QString userId;
    QString password;
};

// How the caller reads a query's rows: as a stream, with other statements of the program running between two
// rows, or all of them at once before it does anything else.
enum class Reading { Streamed, Whole };

// One open engine connection. Statements are the program's own text in the Jet/server dialect; the session
// translates them for its engine and keeps prepared statements for reuse.
//
// When a write is seen, and kept (every provider keeps this contract):
// - Every connection of the process sees a write as soon as the call that made it returns.
// - Other processes see it once it is committed, and from then on it outlives a crash of the program or of
//   the server. A statement's write (Execute, a query that writes) is committed when its call returns, and
//   so is a list's (InsertAll, all its rows at once). A by-key write (Insert, Update, Delete) may wait in a
//   group with the ones after it: the group is committed when it is a few tens of milliseconds old, before
//   any statement's write, on Flush (a closing connection) and when the program ends. (The server commits
//   each by-key write when its call returns; the embedded files group them.)
// - What is committed is always a prefix of what the process wrote: a killed program loses its last group;
//   a write whose call failed with the connection lost may or may not be committed, and a reread tells.
// - A group the engine rolls back after its writes returned (a full disk) is raised as ado::Error, naming the
//   writes lost, by the next call of any session of the process. Nothing is lost without being raised.
class Session {
public:
    virtual ~Session() = default;

    // Runs a query and returns its rows as a stream. Raises ado::Error.
    virtual std::unique_ptr<Cursor> Query(const QString& sql, Reading reading = Reading::Streamed) = 0;
    // Runs one statement or a batch separated by ";". Returns the rows affected by the last one.
    virtual int64_t Execute(const QString& sql) = 0;

    // The base table and key of an updatable statement ("SELECT ... FROM table ..."). Raises ado::Error
    // (ADODB_E_NOTSUPPORTED) when the statement has no single base table with a key.
    virtual TableKey UpdatableTable(const QString& sql) = 0;
    // Every column of the table's row whose key is key; an empty cursor when the row is gone.
    virtual std::unique_ptr<Cursor> SelectByKey(const TableKey& table, const Variant& key) = 0;
    // Inserts a row with the given columns (the others take their defaults) and returns its key as the table
    // holds it. Raises ado::Error.
    virtual Variant Insert(const TableKey& table, const std::vector<QString>& columns,
                           const std::vector<Variant>& values) = 0;
    // Sets columns of the row whose key is key. Returns the rows affected (0 when the row is gone).
    virtual int64_t Update(const TableKey& table, const Variant& key, const std::vector<QString>& columns,
                           const std::vector<Variant>& values) = 0;
    // Deletes the row whose key is key. Returns the rows affected.
    virtual int64_t Delete(const TableKey& table, const Variant& key) = 0;

    // Lists of work in one flight, for a caller that has many small statements ready at once.
    // True when the session sends a list with one wait for all its answers (a server), so that gathering
    // work into lists pays. Never fails.
    virtual bool CarriesLists() const { return false; }
    // Runs every query and tells, for each, whether it returns a row: the answers running them one by one
    // would give. Raises ado::Error, naming the first query that fails.
    virtual std::vector<bool> HasRows(const std::vector<QString>& queries);
    // Inserts every row (values for columns, as Insert takes them) and commits them together: on success all
    // are written and committed, when it raises ado::Error (naming the first row that failed) none is.
    // ADODB_E_NOTSUPPORTED where the session does not CarryLists.
    virtual void InsertAll(const TableKey& table, const std::vector<QString>& columns,
                           const std::vector<std::vector<Variant>>& rows);

    // Makes writes of other connections visible to the next read (the Jet cache refresh).
    virtual void RefreshCache() = 0;
    // Applies to the statements that follow; 0 means no limit.
    virtual void SetCommandTimeout(int seconds) = 0;
    // True when the session can be handed to the next Open of the same connection string.
    virtual bool Reusable() = 0;
    // True once the session's connection to the engine is lost (the server restarted, ended the session, or
    // the network failed): no call on it can succeed any more. Never fails.
    virtual bool Broken() { return false; }
    // True when the session's connection can be lost while the program runs (a server), so that a streamed
    // query may have to start again on a new session. Never fails.
    virtual bool CanBreak() const { return false; }
    // Commits every write so far, grouped ones included (the connection is closing). Raises ado::Error when
    // that fails: a lock leaves the writes pending, a rollback by the engine names the writes lost.
    virtual void Flush() {}
};

class Provider {
public:
    virtual ~Provider() = default;
    // The name that Provider= selects, e.g. "Microsoft.Jet.OLEDB.4.0".
    virtual QString Name() const = 0;
    // Opens a session. Raises ado::Error (a missing file, an unreachable server, a refused login, ...).
    virtual std::unique_ptr<Session> Open(const ConnectionString& connection, const OpenOptions& options) = 0;
    // Makes the new, empty database that connection names. Raises ado::Error when it exists already or cannot
    // be made, and ADODB_E_NOTSUPPORTED where the provider makes none.
    virtual void CreateDatabase(const ConnectionString& connection);
};

// Makes a provider selectable by its name (without regard to case), replacing one of the same name.
void RegisterProvider(std::shared_ptr<Provider> provider);
// The provider registered under name; nullptr when none is.
std::shared_ptr<Provider> FindProvider(const QString& name);
// Registers the built-in providers (Jet over SQLite, SQLOLEDB over PostgreSQL) if not yet registered.
void RegisterBuiltInProviders();

}  // namespace ado::provider
