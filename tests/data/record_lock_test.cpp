// AdoDeleteRecord against a real lock that another session holds for 25 seconds of virtual time.

#include "ado/connection_string.h"
#include "data/generic_ado.h"
#include "platform/screen.h"
#include "support/product_schema.h"
#include "support/program_environment.h"
#include "support/server_connection.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using testsupport::Engine;

class RecordLockTest : public ::testing::TestWithParam<Engine> {};

TEST_P(RecordLockTest, DeleteWaitsOutALockOf25Seconds) {
    const Engine engine = GetParam();
    if (engine == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
    testsupport::ProgramEnvironment env;
    const QString connectionString = testsupport::NewProductDatabase(engine, env.Dir());
    ado::Connection connection;
    connection.Open(connectionString);
    connection.Execute(
        u"INSERT INTO Blacklist (ID, Client_ID, Agency_ID, Notes) VALUES (1, 10, 20, 'queued')"_s);
    ado::Recordset recordset;
    recordset.Open(u"SELECT * FROM Blacklist WHERE ID = 1"_s, connection, ado::adOpenKeyset,
                   ado::adLockPessimistic);

    // Another workstation in the middle of an update of row 1: on the files a second session with a pending
    // write, on the server a session holding the row with SELECT ... FOR UPDATE. Each ends with its session.
    std::unique_ptr<testsupport::ServerConnection> server;
    sqlite3* file = nullptr;
    if (engine == Engine::Jet) {
        const QString path = ado::ConnectionString(connectionString).Get(u"Data Source"_s);
        ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &file, SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(file, "BEGIN IMMEDIATE; UPDATE Blacklist SET Notes = 'held' WHERE ID = 1;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
    } else {
        server = std::make_unique<testsupport::ServerConnection>(testsupport::CatalogOf(connectionString));
        server->Exec(u"BEGIN; SELECT * FROM blacklist WHERE id = 1 FOR UPDATE"_s);
    }
    const auto release = [&] {
        server.reset();
        sqlite3_close(std::exchange(file, nullptr));  // rolls the pending write back
    };
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
            release();
    });

    bool accessFlag = engine == Engine::Jet;
    EXPECT_TRUE(data::AdoDeleteRecord(recordset, true, accessFlag));

    EXPECT_EQ(env.Clock().TotalSleptMs(), 25 * 1000);
    EXPECT_EQ(platform::Screen::MousePointer(), platform::vbDefault);
    const QString advice =
        u"\nCheck other KSProcessDisqualificationsQueue workstations to make sure they exit their update."
        "Then click OK to continue."_s;
    ASSERT_EQ(env.Answers().Shown().size(), 2u);
    EXPECT_EQ(messageAfterAttempt, (std::vector<int>{11, 22}));
    for (const platform::MessageBoxRequest& shown : env.Answers().Shown()) {
        EXPECT_TRUE(shown.text.endsWith(advice)) << shown.text.toStdString();
        EXPECT_GT(shown.text.size(), advice.size()) << "the engine's description comes first";
        EXPECT_EQ(shown.buttons, platform::vbOKOnly + platform::vbInformation);
        EXPECT_EQ(shown.title, u"KSProcessDisqualificationsQueue"_s);
    }

    env.Clock().OnSleep(nullptr);
    release();
    recordset.Close();
    ado::Recordset rest;
    rest.Open(u"SELECT * FROM Blacklist"_s, connection);
    EXPECT_TRUE(rest.Eof());
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordLockTest, ::testing::Values(Engine::Jet, Engine::Server),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return std::string(info.param == Engine::Jet ? "Embedded" : "Server");
                         });

}  // namespace
