#include "acceptance/queue_run_fixture.h"

#include "ado/connection.h"
#include "ado/provider.h"
#include "ado/recordset.h"
#include "support/child_process.h"
#include "support/server_connection.h"

#include <QDateTime>
#include <QDir>

using namespace Qt::StringLiterals;

namespace acceptance {

using testsupport::Engine;

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Jet ? "Jet" : "Server";
}

void QueueRunFixture::SetUp() {
    ado::provider::RegisterBuiltInProviders();
    ASSERT_TRUE(temp_.isValid());
    if (GetParam() == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
}

void QueueRunFixture::TearDown() {
    ado::ClearConnectionPool();
}

void QueueRunFixture::MakeDataSet(const QString& name, const SampleOptions& sample, const QString& server) {
    const QString folder = temp_.filePath(name);
    ASSERT_TRUE(QDir().mkpath(folder));
    config_ = folder + u"/config"_s;
    dataPath_ = folder + u"/data/"_s;
    QStringList location{u"--data-path"_s, dataPath_};
    if (GetParam() == Engine::Server) {
        server_ = server.isEmpty() ? testsupport::ServerDataSource() : server;
        // The program's catalog has a fixed name; these tests hold it alone (a ctest resource lock).
        ado::ClearConnectionPool();
        if (server.isEmpty()) {
            testsupport::ServerConnection(u"postgres"_s)
                .Exec(u"DROP DATABASE IF EXISTS \"Kestrane\" WITH (FORCE)"_s);
        }
        location << u"--server"_s << server_;
    }
    Admin(QStringList{u"init"_s} + location);
    Admin(QStringList{u"configure"_s, u"--workstation"_s, kWorkstation} + location);
    user_ = Admin({u"add-user"_s, u"Dana Reyes"_s}).trimmed();
    Admin({u"add-workstation"_s, kWorkstation});
    Admin({u"generate"_s, u"--clients"_s, QString::number(sample.clients), u"--agencies"_s,
           QString::number(sample.agencies), u"--seed"_s, QString::number(sample.seed)});
}

QString QueueRunFixture::Admin(const QStringList& arguments) {
    const testsupport::ChildResult result =
        testsupport::RunBinary(u"kestrane-admin"_s, arguments, testsupport::ChildEnvironment(config_));
    EXPECT_EQ(result.exitCode, 0) << arguments.join(u' ').toStdString() << "\n" << result.err.toStdString();
    return result.out;
}

void QueueRunFixture::Enqueue(const Requests& requests) {
    ado::Connection connection;
    connection.Open(MainString());
    ado::Recordset queue;
    queue.Open(u"SELECT * FROM Disqualifications_Queue WHERE ID = -1"_s, connection, ado::adOpenKeyset,
               ado::adLockPessimistic);
    QDateTime created(QDate(2026, 3, 1), QTime(9, 0));
    for (const auto& [tableName, id] : requests) {
        queue.AddNew();
        queue(u"Table_Name"_s) = ado::Variant(tableName);
        queue(u"Table_ID"_s) = ado::Variant(id);
        queue(u"Creation_Date"_s) = ado::Variant(created);
        queue.Update();
        created = created.addSecs(1);
    }
    queue.Close();
    connection.Close();
    Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"0"_s});
}

void QueueRunFixture::QueueAgencies(int first, int last) {
    Requests requests;
    for (int agency = first; agency <= last; ++agency)
        requests.push_back({u"Agencies"_s, agency});
    Enqueue(requests);
}

QString QueueRunFixture::MainString() const {
    if (GetParam() == Engine::Server) {
        return u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source="_s + server_ +
               u";Persist Security Info=False;Initial Catalog=Kestrane;"_s;
    }
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + dataPath_ + u"KS.mdb;"_s;
}

QString QueueRunFixture::UsersString() const {
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + dataPath_ + u"KS_users.mdb;"_s;
}

Pairs QueueRunFixture::PairsOf(const QString& sql) const {
    Pairs pairs;
    for (const QStringList& row : QueryRows(MainString(), sql, {u"Client_ID"_s, u"Agency_ID"_s}))
        pairs.insert({row[0].toInt(), row[1].toInt()});
    return pairs;
}

Pairs QueueRunFixture::Expected(const QString& ruleSql) const {
    Pairs expected = PairsOf(ruleSql);
    for (const auto& pair : PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 1"_s))
        expected.erase(pair);
    return expected;
}

std::vector<QStringList> QueueRunFixture::DuplicatePairs() const {
    return QueryRows(MainString(),
                u"SELECT Client_ID, Agency_ID, COUNT(*) AS N FROM Blacklist GROUP BY Client_ID, Agency_ID "
                u"HAVING COUNT(*) > 1"_s,
                {u"Client_ID"_s, u"Agency_ID"_s, u"N"_s});
}

}  // namespace acceptance
