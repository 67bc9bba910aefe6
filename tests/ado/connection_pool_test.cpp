// Closed connections' sessions are reused by the next Open of the same string, within bounds; the failing
// provider wrapper counts the engine's opens.
#include "ado/connection.h"
#include "ado/faulty/faulty_provider.h"
#include "platform/clock.h"
#include "support/databases.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using ado::faulty::FaultyProvider;
using ado::faulty::Operation;

class ConnectionPoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        connectionString_ = testsupport::NewJetDatabase(dir_.path());
        faulty_ = FaultyProvider::Install(QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
        clock_ = std::make_shared<platform::VirtualClock>(QDateTime(QDate(2024, 5, 1), QTime(9, 0)));
        platform::SetClock(clock_);
    }
    void TearDown() override {
        platform::SetClock(nullptr);
        faulty_->Uninstall();
    }

    void OpenAndClose(const QString& connectionString) {
        ado::Connection connection;
        connection.Open(connectionString);
        connection.Close();
    }

    QTemporaryDir dir_;
    QString connectionString_;
    std::shared_ptr<FaultyProvider> faulty_;
    std::shared_ptr<platform::VirtualClock> clock_;
};

// Catches a closed session not reused by the same string, reused by another, or reused mid-transaction.
TEST_F(ConnectionPoolTest, ReopeningTheSameStringReusesTheSessionUnlessLeftInATransaction) {
    for (int i = 0; i < 3; ++i)
        OpenAndClose(connectionString_);
    EXPECT_EQ(faulty_->Calls(Operation::Open), 1);
    OpenAndClose(testsupport::NewJetDatabase(dir_.path(), QStringLiteral("other.mdb")));
    EXPECT_EQ(faulty_->Calls(Operation::Open), 2);
    ado::Connection connection;
    connection.Open(connectionString_);
    connection.Execute(QStringLiteral("BEGIN"));
    connection.Close();
    OpenAndClose(connectionString_);
    EXPECT_EQ(faulty_->Calls(Operation::Open), 3);
}

// Catches an idle session kept past a minute, or dropped before.
TEST_F(ConnectionPoolTest, ASessionIdleForAMinuteIsDropped) {
    for (const auto& [idleMs, opens] : {std::pair{59'000, 1}, std::pair{61'000, 2}}) {
        ado::ClearConnectionPool();
        const int before = faulty_->Calls(Operation::Open);
        OpenAndClose(connectionString_);
        clock_->Advance(idleMs);
        OpenAndClose(connectionString_);
        EXPECT_EQ(faulty_->Calls(Operation::Open) - before, opens) << idleMs;
    }
}

// Catches more (or fewer) than eight idle sessions kept per string.
TEST_F(ConnectionPoolTest, AtMostEightSessionsWaitPerString) {
    const auto openTen = [&] {
        std::vector<std::unique_ptr<ado::Connection>> open;
        for (int i = 0; i < 10; ++i) {
            open.push_back(std::make_unique<ado::Connection>());
            open.back()->Open(connectionString_);
        }
        for (auto& connection : open)
            connection->Close();
    };
    openTen();
    openTen();
    EXPECT_EQ(faulty_->Calls(Operation::Open), 12);
}

// Catches the tests' fault injection failing other calls than chosen, or staying once uninstalled.
TEST(FaultyProviderTest, FailsTheChosenCallsUntilUninstalled) {
    const struct {
        int skip;
        int count;
        const char* expected;  // one letter per call: F failed, . ran
    } cases[] = {{0, 1, "F...."}, {2, 1, "..F.."}, {1, 2, ".FF.."}, {1, -1, ".FFFF"}};
    QTemporaryDir dir;
    const QString connectionString = testsupport::NewJetDatabase(dir.path());
    ado::provider::RegisterBuiltInProviders();
    const auto real = ado::provider::FindProvider(QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const auto faulty = FaultyProvider::Install(QStringLiteral("microsoft.jet.oledb.4.0"));
        EXPECT_EQ(ado::provider::FindProvider(QStringLiteral("Microsoft.Jet.OLEDB.4.0")), faulty);
        ado::faulty::Fault fault;
        fault.operation = Operation::Execute;
        fault.nativeError = ado::JET_LOCKED;
        fault.skip = c.skip;
        fault.count = c.count;
        fault.matches = [](const QString& sql) { return sql.startsWith(QLatin1String("INSERT")); };
        faulty->Add(fault);
        ado::Connection connection;
        connection.Open(connectionString);
        connection.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS Target (ID INTEGER PRIMARY KEY)"));
        QString seen;
        for (int call = 0; call < 5; ++call) {
            connection.Execute(QStringLiteral("SELECT 1"));  // not matched: never fails
            try {
                connection.Execute(QStringLiteral("INSERT INTO Target DEFAULT VALUES"));
                seen += u'.';
            } catch (const ado::Error& err) {
                EXPECT_EQ(err.Number(), ado::E_FAIL_HR);
                EXPECT_EQ(err.NativeError(), ado::JET_LOCKED);
                EXPECT_EQ(connection.GetErrors().Item(0).nativeError, ado::JET_LOCKED);
                seen += u'F';
            }
        }
        EXPECT_EQ(seen, QString::fromLatin1(c.expected));
        connection.Close();
        faulty->Uninstall();
        EXPECT_EQ(ado::provider::FindProvider(QStringLiteral("Microsoft.Jet.OLEDB.4.0")), real);
    }
}

}  // namespace
