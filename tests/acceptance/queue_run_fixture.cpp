#include "acceptance/queue_run_fixture.h"

#include "ado/connection.h"
#include "ado/provider.h"
#include "support/query_rows.h"
#include "support/server_connection.h"

#include <QDateTime>
#include <QDir>

using namespace Qt::StringLiterals;

namespace acceptance {

void RunFixture::SetUp() {
    ado::provider::RegisterBuiltInProviders();
    ASSERT_TRUE(temp_.isValid());
    UseFolder({});
}

void RunFixture::TearDown() {
    ado::ClearConnectionPool();
}

void QueueRunFixture::SetUp() {
    engine_ = GetParam();
    RunFixture::SetUp();
    if (engine_ == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
}

void RunFixture::UseFolder(const QString& name, const QString& clock) {
    const QString folder = name.isEmpty() ? temp_.path() : temp_.filePath(name);
    ASSERT_TRUE(QDir().mkpath(folder));
    config_ = folder + u"/config"_s;
    dataPath_ = folder + u"/data/"_s;
    environment_ = testsupport::ChildEnvironment(config_, clock);
    environment_.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
}

void RunFixture::Init(const QString& workstation) {
    QStringList location{u"--data-path"_s, dataPath_};
    if (engine_ == Engine::Server)
        location << u"--server"_s << server_;
    Admin(QStringList{u"init"_s} + location);
    if (!workstation.isEmpty())
        location << u"--workstation"_s << workstation;
    Admin(QStringList{u"configure"_s} + location);
}

void RunFixture::MakeDataSet(const QString& name, const SampleOptions& sample, const QString& server) {
    UseFolder(name);
    if (engine_ == Engine::Server) {
        server_ = server.isEmpty() ? testsupport::ServerDataSource() : server;
        // The program's catalog has a fixed name; these tests hold it alone (a ctest resource lock).
        ado::ClearConnectionPool();
        if (server.isEmpty()) {
            testsupport::ServerConnection(u"postgres"_s)
                .Exec(u"DROP DATABASE IF EXISTS \"Kestrane\" WITH (FORCE)"_s);
        }
    }
    Init();
    user_ = Admin({u"add-user"_s, u"Dana Reyes"_s}).trimmed();
    Admin({u"add-workstation"_s, kWorkstation});
    Admin({u"generate"_s, u"--clients"_s, QString::number(sample.clients), u"--agencies"_s,
           QString::number(sample.agencies), u"--seed"_s, QString::number(sample.seed)});
}

QString RunFixture::Admin(const QStringList& arguments) {
    const ChildResult result = testsupport::RunBinary(u"kestrane-admin"_s, arguments, environment_);
    EXPECT_EQ(result.exitCode, 0) << arguments.join(u' ').toStdString() << "\n" << result.err.toStdString();
    return result.out;
}

ChildResult RunFixture::Run(const QStringList& arguments, const testsupport::ChildLimits& limits) {
    ado::ClearConnectionPool();
    return testsupport::RunBinary(kProgram, arguments, environment_, limits);
}

void RunFixture::Enqueue(const Requests& requests) {
    QStringList rows;
    QDateTime created(QDate(2026, 3, 1), QTime(9, 0));
    for (const auto& [tableName, id] : requests) {
        rows << u"('%1', %2, '%3')"_s.arg(tableName).arg(id).arg(created.toString(u"yyyy-MM-dd HH:mm:ss"_s));
        created = created.addSecs(1);
    }
    Execute(u"INSERT INTO Disqualifications_Queue (Table_Name, Table_ID, Creation_Date) VALUES "_s +
            rows.join(u", "_s));
    Admin({u"schedule"_s, u"--user"_s, user_, u"--in"_s, u"0"_s});
}

void RunFixture::QueueAgencies(int first, int last) {
    Requests requests;
    for (int agency = first; agency <= last; ++agency)
        requests.push_back({u"Agencies"_s, agency});
    Enqueue(requests);
}

QString RunFixture::MainString() const {
    if (engine_ == Engine::Server) {
        return u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source="_s + server_ +
               u";Persist Security Info=False;Initial Catalog=Kestrane;"_s;
    }
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + dataPath_ + u"KS.mdb;"_s;
}

QString RunFixture::UsersString() const {
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + dataPath_ + u"KS_users.mdb;"_s;
}

void RunFixture::Execute(const QString& sql) {
    ado::Connection connection;
    connection.Open(MainString());
    connection.Execute(sql);
    connection.Close();
}

QStringList RunFixture::Rows(const QString& sql, const QStringList& fields,
                             const QString& connectionString) const {
    QStringList rows;
    for (const QStringList& row :
         testsupport::QueryRows(connectionString.isEmpty() ? MainString() : connectionString, sql, fields))
        rows << row.join(u", "_s);
    return rows;
}

Pairs RunFixture::PairsOf(const QString& sql) const {
    Pairs pairs;
    for (const QStringList& row : testsupport::QueryRows(MainString(), sql, {u"Client_ID"_s, u"Agency_ID"_s}))
        pairs.insert({row[0].toInt(), row[1].toInt()});
    return pairs;
}

Pairs RunFixture::Expected(const QString& ruleSql) const {
    Pairs expected = PairsOf(ruleSql);
    for (const auto& pair : PairsOf(u"SELECT * FROM Blacklist WHERE Manually_Entered = 1"_s))
        expected.erase(pair);
    return expected;
}

QStringList RunFixture::DuplicatePairs() const {
    return Rows(
        u"SELECT Client_ID, Agency_ID, COUNT(*) AS N FROM Blacklist GROUP BY Client_ID, Agency_ID "
        u"HAVING COUNT(*) > 1"_s,
        {u"Client_ID"_s, u"Agency_ID"_s, u"N"_s});
}

QStringList RunFixture::Outcome() const {
    return Rows(u"SELECT * FROM Blacklist ORDER BY Client_ID, Agency_ID, Manually_Entered"_s,
                {u"Client_ID"_s, u"Agency_ID"_s, u"Manually_Entered"_s}) +
           Rows(u"SELECT * FROM Disqualifications_Queue ORDER BY ID"_s, {u"Table_Name"_s, u"Table_ID"_s}) +
           Rows(u"SELECT * FROM [Parameters] WHERE ID = 1"_s,
                {u"Next_Disqualifications_Rebuild"_s, u"Next_Rebuild_Requested_By"_s});
}

}  // namespace acceptance
