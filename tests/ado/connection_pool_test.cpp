// The session pool, on a failing provider wrapper that counts the engine's opens.
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
        faulty_ = FaultyProvider::Install(QStringLiteral("microsoft.jet.oledb.4.0"));  // names in any case
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

}  // namespace
