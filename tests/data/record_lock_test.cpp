// AdoDeleteRecord against a real lock that another session holds for 25 seconds of virtual time.

#include "ado/connection_string.h"
#include "data/generic_ado.h"
#include "platform/screen.h"
#include "support/product_schema.h"
#include "support/program_environment.h"
#include "support/server_connection.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Another workstation in the middle of an update of Blacklist row 1.
class RowLock {
  public:
    virtual ~RowLock() = default;
    // Ends the other workstation's update; later calls do nothing.
    virtual void Release() = 0;
};

// A second SQLite session with a pending write: the database is locked for other writers.
class EmbeddedRowLock : public RowLock {
  public:
    explicit EmbeddedRowLock(const QString& connectionString) {
        const QString file = ado::ConnectionString(connectionString).Get(QStringLiteral("Data Source"));
        EXPECT_EQ(sqlite3_open_v2(file.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        Run("BEGIN IMMEDIATE; UPDATE Blacklist SET Notes = 'held' WHERE ID = 1;");
    }
    ~EmbeddedRowLock() override {
        Release();
        sqlite3_close(db_);
    }
    void Release() override {
        if (!held_)
            return;
        held_ = false;
        Run("ROLLBACK;");
    }

  private:
    void Run(const char* sql) {
        char* message = nullptr;
        EXPECT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
        sqlite3_free(message);
    }
    sqlite3* db_ = nullptr;
    bool held_ = true;
};

// A server session of its own holding the row with SELECT ... FOR UPDATE.
class ServerRowLock : public RowLock {
  public:
    explicit ServerRowLock(const QString& connectionString)
        : session_(testsupport::CatalogOf(connectionString)) {
        session_.Exec(QStringLiteral("BEGIN"));
        session_.Exec(QStringLiteral("SELECT * FROM blacklist WHERE id = 1 FOR UPDATE"));
    }
    ~ServerRowLock() override { Release(); }
    void Release() override {
        if (!held_)
            return;
        held_ = false;
        session_.Exec(QStringLiteral("ROLLBACK"));
    }

  private:
    testsupport::ServerConnection session_;
    bool held_ = true;
};

class RecordLockTest : public ::testing::TestWithParam<testsupport::Engine> {};

TEST_P(RecordLockTest, DeleteWaitsOutALockOf25Seconds) {
    const testsupport::Engine engine = GetParam();
    if (engine == testsupport::Engine::Server)
        KESTRANE_REQUIRE_SERVER();
    testsupport::ProgramEnvironment env;
    const QString connectionString = testsupport::NewProductDatabase(engine, env.Dir());
    ado::Connection connection;
    connection.Open(connectionString);
    connection.Execute(QStringLiteral(
        "INSERT INTO Blacklist (ID, Client_ID, Agency_ID, Notes) VALUES (1, 10, 20, 'queued')"));
    ado::Recordset recordset;
    recordset.Open(QStringLiteral("SELECT * FROM Blacklist WHERE ID = 1"), connection, ado::adOpenKeyset,
                   ado::adLockPessimistic);

    std::unique_ptr<RowLock> lock;
    if (engine == testsupport::Engine::Jet) {
        lock = std::make_unique<EmbeddedRowLock>(connectionString);
    } else {
        lock = std::make_unique<ServerRowLock>(connectionString);
    }
    const QDateTime start = env.Clock().Now();
    // The failed attempt after which each lock message appeared: a message follows the wait of its attempt,
    // so the next wait sees it.
    std::vector<int> messageAfterAttempt;
    int waits = 0;
    env.Clock().OnSleep([&](const QDateTime& now) {
        ++waits;
        if (env.Answers().Shown().size() > messageAfterAttempt.size())
            messageAfterAttempt.push_back(waits - 1);
        if (start.secsTo(now) >= 25)
            lock->Release();
    });

    bool accessFlag = engine == testsupport::Engine::Jet;
    EXPECT_TRUE(data::AdoDeleteRecord(recordset, true, accessFlag));

    EXPECT_EQ(env.Clock().TotalSleptMs(), 25 * 1000);
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
    const QString advice = QStringLiteral(
        "\nCheck other KSProcessDisqualificationsQueue workstations to make sure they exit their update."
        "Then click OK to continue.");
    ASSERT_EQ(env.Answers().Shown().size(), 2u);
    EXPECT_EQ(messageAfterAttempt, (std::vector<int>{11, 22}));
    for (const platform::MessageBoxRequest& shown : env.Answers().Shown()) {
        EXPECT_TRUE(shown.text.endsWith(advice)) << shown.text.toStdString();
        EXPECT_GT(shown.text.size(), advice.size()) << "the engine's description comes first";
        EXPECT_EQ(shown.buttons, platform::vbOKOnly + platform::vbInformation);
        EXPECT_EQ(shown.title, QStringLiteral("KSProcessDisqualificationsQueue"));
    }

    env.Clock().OnSleep(nullptr);
    lock.reset();
    recordset.Close();
    ado::Recordset rest;
    rest.Open(QStringLiteral("SELECT * FROM Blacklist"), connection);
    EXPECT_TRUE(rest.Eof());
    rest.Close();
    connection.Close();
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordLockTest,
                         ::testing::Values(testsupport::Engine::Jet, testsupport::Engine::Server),
                         [](const ::testing::TestParamInfo<testsupport::Engine>& info) {
                             return std::string(info.param == testsupport::Engine::Jet ? "Embedded"
                                                                                       : "Server");
                         });

}  // namespace
