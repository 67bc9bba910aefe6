#pragma once
// One open SQLite database file behind a Jet connection: its statements, its locks and its time-outs.

#include "ado/provider.h"
#include "ado/sqlite/statement.h"

#include <QCache>
#include <QHash>
#include <QString>

#include <chrono>
#include <memory>

#include <sys/stat.h>

struct sqlite3;

namespace ado::sqlite {

inline constexpr int kStatementCacheSize = 64;  // prepared statements kept per session

class Session : public provider::Session {
  public:
    // Opens file, which must exist. Raises ado::Error (a missing file, not a database, locked).
    Session(const QString& file, const provider::OpenOptions& options);
    ~Session() override;

    std::unique_ptr<provider::Cursor> Query(const QString& sql) override;
    int64_t Execute(const QString& sql) override;
    provider::TableKey UpdatableTable(const QString& sql) override;
    std::unique_ptr<provider::Cursor> SelectByKey(const provider::TableKey& table,
                                                  const Variant& key) override;
    Variant Insert(const provider::TableKey& table, const std::vector<QString>& columns,
                   const std::vector<Variant>& values) override;
    int64_t Update(const provider::TableKey& table, const Variant& key, const std::vector<QString>& columns,
                   const std::vector<Variant>& values) override;
    int64_t Delete(const provider::TableKey& table, const Variant& key) override;
    void RefreshCache() override {}
    void SetCommandTimeout(int seconds) override { commandTimeoutSeconds_ = seconds; }
    bool Reusable() override;

    // A prepared statement for sql, from the cache when one is idle there. Raises ado::Error carrying
    // written.
    std::unique_ptr<Statement> Prepare(const QString& sql, const QString& written);
    // Resets statement and keeps it for the next use of its text.
    void Release(std::unique_ptr<Statement> statement);
    // Runs statement to its next row within the command time-out: true when a row is ready, false when it is
    // done. Raises ado::Error carrying written.
    bool Step(Statement& statement, const QString& written);

  private:
    // Runs a statement the session makes itself, with values bound, to its end; returns the rows it changed.
    int64_t Run(const QString& sql, const std::vector<Variant>& values);
    // Opens a cursor on a statement the session makes itself.
    std::unique_ptr<provider::Cursor> Select(const QString& sql, const std::vector<Variant>& values);
    // The key column of table, from the engine's table information. Raises ADODB_E_NOTSUPPORTED without one.
    QString KeyColumn(const QString& table);
    void ChooseJournal(const QString& file);
    static int OnProgress(void* session);

    // The file as it was opened: a session whose file was since replaced or removed is not handed out again.
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    static FileIdentity IdentityOf(const QString& file);

    sqlite3* db_ = nullptr;
    QString file_;
    FileIdentity identity_;
    bool exclusive_ = false;
    int commandTimeoutSeconds_ = 30;
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
    QCache<QString, Statement> statements_{kStatementCacheSize};
    QHash<QString, QString> keyColumns_;  // by table
};

}  // namespace ado::sqlite
