// The run guard in one process: it holds the data until released, names its holder to whoever asks, and
// leaves nothing held behind (on the server, no advisory lock in a pooled session). Two processes meet in the
// acceptance tests.

#include "data/run_guard.h"
#include "support/databases.h"
#include "support/program_environment.h"
#include "support/server_connection.h"

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using testsupport::Engine;

class RunGuardTest : public ::testing::TestWithParam<Engine> {};

TEST_P(RunGuardTest, HoldsTheDataUntilReleasedAndNamesItsHolder) {
    const Engine engine = GetParam();
    if (engine == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
    testsupport::ProgramEnvironment env;
    data::ConnectionSettings settings;
    settings.dataPath = env.Dir() + u"/"_s;
    settings.accessFlag = engine == Engine::Jet;
    settings.mainConnectionString = testsupport::NewDatabase(engine, env.Dir());
    // Another workstation: its own data folder, the same catalog.
    data::ConnectionSettings elsewhere = settings;
    elsewhere.dataPath = env.Dir() + u"/elsewhere/"_s;
    ASSERT_TRUE(QDir().mkpath(elsewhere.dataPath));

    EXPECT_FALSE(data::FindActiveRun(settings));
    {
        data::RunGuard guard(settings);
        ASSERT_TRUE(guard.Held());

        const std::optional<data::RunHolder> found = data::FindActiveRun(settings);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->pid, QCoreApplication::applicationPid());
        EXPECT_EQ(found->host, QSysInfo::machineHostName());
        EXPECT_EQ(found->since, env.Clock().Now());
        EXPECT_EQ(found->dataSource, settings.dataPath + u"KS_queue.lock"_s);

        data::RunGuard second(settings);
        EXPECT_FALSE(second.Held());
        ASSERT_TRUE(second.Holder());
        EXPECT_EQ(second.Holder()->pid, QCoreApplication::applicationPid());

        const std::optional<data::RunHolder> atTheCatalog = data::FindActiveRun(elsewhere);
        EXPECT_EQ(atTheCatalog.has_value(), engine == Engine::Server);
        if (atTheCatalog) {
            EXPECT_EQ(atTheCatalog->pid, QCoreApplication::applicationPid());
            EXPECT_EQ(atTheCatalog->since, env.Clock().Now());
            EXPECT_TRUE(atTheCatalog->dataSource.endsWith(
                u" catalog "_s + testsupport::CatalogOf(settings.mainConnectionString)));
            EXPECT_FALSE(data::RunGuard(elsewhere).Held());
        }
    }
    EXPECT_FALSE(data::FindActiveRun(settings));
    EXPECT_FALSE(data::FindActiveRun(elsewhere));
    if (engine == Engine::Server) {
        EXPECT_EQ(testsupport::ServerConnection(testsupport::CatalogOf(settings.mainConnectionString))
                      .Exec(u"SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND database = "
                            u"(SELECT oid FROM pg_database WHERE datname = current_database())"_s),
                  u"0"_s);
    }
    data::RunGuard again(settings);
    EXPECT_TRUE(again.Held());
}

INSTANTIATE_TEST_SUITE_P(Engines, RunGuardTest, ::testing::Values(Engine::Jet, Engine::Server),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return std::string(info.param == Engine::Jet ? "Embedded" : "Server");
                         });

}  // namespace
