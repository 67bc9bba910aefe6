#include "admin_fixture.h"

#include "ado/connection.h"
#include "support/query_rows.h"
#include "support/server_connection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <atomic>

using namespace Qt::StringLiterals;

namespace admintest {

Workstation::Workstation()
    : configHome_(temp_.filePath(u"config"_s)),
      dataPath_(temp_.filePath(u"data"_s) + QLatin1Char('/')),
      environment_(testsupport::ChildEnvironment(configHome_, u"2030-01-01T08:00:00"_s)) {}

void AdminTest::SetUp() {
    ASSERT_TRUE(temp_.isValid());
    savedConfigHome_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", configHome_.toLocal8Bit());
}

void AdminTest::TearDown() {
    ado::ClearConnectionPool();
    qputenv("XDG_CONFIG_HOME", savedConfigHome_);
}

void AdminEngineTest::SetUp() {
    AdminTest::SetUp();
    if (GetParam() == Engine::Server)
        KESTRANE_REQUIRE_SERVER();
    SetUpWorkstation(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Engines, AdminEngineTest, ::testing::Values(Engine::Jet, Engine::Server),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return info.param == Engine::Jet ? "Jet" : "Server";
                         });

ChildResult Workstation::Admin(const QStringList& arguments) const {
    return testsupport::RunBinary(u"kestrane-admin"_s, arguments, environment_);
}

QString Workstation::AdminOk(const QStringList& arguments) const {
    const ChildResult result = Admin(arguments);
    EXPECT_EQ(result.exitCode, 0) << arguments.join(QLatin1Char(' ')).toStdString() << "\n"
                                  << result.err.toStdString();
    return result.out;
}

void Workstation::SetUpWorkstation(Engine engine) {
    QStringList server;
    if (engine == Engine::Server) {
        static std::atomic<int> counter{0};
        catalog_ = u"kt_admin_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++counter);
        server = {u"--server"_s, testsupport::ServerDataSource()};
    }
    AdminOk(QStringList{u"init"_s, u"--data-path"_s, dataPath_} + server + Catalog());
    AdminOk(QStringList{u"configure"_s, u"--data-path"_s, dataPath_, u"--workstation"_s, u"WS-01"_s} +
            server);
    AdminOk({u"add-user"_s, u"planner"_s});
    AdminOk({u"add-workstation"_s, u"WS-01"_s});
    Execute(MainString(), u"INSERT INTO Agencies (ID, Name) VALUES (1, 'Parks Department')"_s);
    Execute(MainString(), u"INSERT INTO People (ID, [Last Name]) VALUES (2, 'Dunn')"_s);
    Execute(
        MainString(),
        u"INSERT INTO Blacklist (Client_ID, Agency_ID, Manually_Entered, Date_Created, Notes, Created_By) "
        "VALUES (2, 1, 1, '2030-02-03 04:05:06', 'Refused, \"twice\"', 1)"_s);
    AdminOk(QStringList{u"enqueue"_s, u"agency"_s, u"1"_s} + Catalog());
    AdminOk(QStringList{u"enqueue"_s, u"client"_s, u"2"_s} + Catalog());
    AdminOk(QStringList{u"schedule"_s, u"--user"_s, u"1"_s, u"--at"_s, u"2030-01-01 09:00:00"_s} + Catalog());
}

QStringList Workstation::Catalog() const {
    return catalog_.isEmpty() ? QStringList{} : QStringList{u"--catalog"_s, catalog_};
}

QString Workstation::MainString() const {
    if (catalog_.isEmpty())
        return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + dataPath_ + u"KS.mdb;"_s;
    return u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source="_s + testsupport::ServerDataSource() +
           u";Initial Catalog="_s + catalog_ + u";"_s;
}

QString Workstation::UsersString() const {
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + dataPath_ + u"KS_users.mdb;"_s;
}

void Workstation::Execute(const QString& connectionString, const QString& sql) {
    ado::Connection connection;
    connection.Open(connectionString);
    connection.Execute(sql);
    connection.Close();
}

QStringList Workstation::Snapshot() const {
    QStringList lines;
    const auto add = [&](const QString& connectionString, const QString& table, const QStringList& fields) {
        for (const QStringList& row : testsupport::QueryRows(
                 connectionString, u"SELECT * FROM "_s + table + u" ORDER BY ID"_s, fields)) {
            lines << table + u": "_s + row.join(u" | "_s);
        }
    };
    add(MainString(), u"[Parameters]"_s,
        {u"ID"_s, u"Next_Rebuild_Requested_By"_s, u"Next_Disqualifications_Rebuild"_s});
    add(MainString(), u"Disqualifications_Queue"_s,
        {u"ID"_s, u"Table_Name"_s, u"Table_ID"_s, u"Creation_Date"_s});
    add(MainString(), u"Agencies"_s, {u"ID"_s, u"Name"_s});
    add(MainString(), u"People"_s, {u"ID"_s, u"Last Name"_s});
    add(MainString(), u"Blacklist"_s, {u"ID"_s, u"Agency_ID"_s, u"Client_ID"_s, u"Notes"_s});
    add(UsersString(), u"[Application User List]"_s, {u"ID"_s, u"User Name"_s});
    add(UsersString(), u"[Application Workstation List]"_s, {u"ID"_s, u"Workstation Name"_s, u"Active"_s});
    for (const QString& file : QDir(configHome_ + u"/Kestrane"_s).entryList(QDir::Files)) {
        QFile settings(configHome_ + u"/Kestrane/"_s + file);
        EXPECT_TRUE(settings.open(QIODevice::ReadOnly));
        lines << file + u": "_s + QString::fromUtf8(settings.readAll());
    }
    return lines;
}

}  // namespace admintest
