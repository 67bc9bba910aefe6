#pragma once
// kestrane-admin run as an administrator runs it, in a temporary folder that also holds its settings, on a
// virtual clock that stands at 2030-01-01 08:00:00.

#include "ado/connection.h"
#include "support/child_process.h"
#include "support/databases.h"
#include "support/program_environment.h"
#include "support/query_rows.h"
#include "support/server_connection.h"
#include "support/terminal_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>

namespace admintest {

using namespace Qt::StringLiterals;
using testsupport::ChildResult;
using testsupport::Engine;
using testsupport::QueryRows;
using Rows = std::vector<QStringList>;

inline QString JetString(const QString& file) {
    return u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + file + u";"_s;
}

// The text of a file, "<unreadable>" when it cannot be read.
inline QString ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : u"<unreadable>"_s;
}

inline void Execute(const QString& connectionString, const QString& sql) {
    ado::Connection connection;
    connection.Open(connectionString);
    connection.Execute(sql);
}

// A folder of its own holding the data and the settings, and kestrane-admin run on them.
class Workstation {
public:
    // variables: name, value, name, value, ... added to the environment. typed: on a terminal, what is typed.
    ChildResult Admin(const QStringList& arguments, const QStringList& variables = {},
                      const char* typed = nullptr) const {
        QProcessEnvironment environment = environment_;
        for (qsizetype i = 0; i + 1 < variables.size(); i += 2)
            environment.insert(variables[i], variables[i + 1]);
        return typed ? testsupport::RunBinaryOnTerminal(u"kestrane-admin"_s, arguments, environment, typed)
                     : testsupport::RunBinary(u"kestrane-admin"_s, arguments, environment);
    }
    // Runs a command that must succeed and returns its standard output.
    QString AdminOk(const QStringList& arguments) const {
        const ChildResult result = Admin(arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments.join(u' ').toStdString() << "\n"
                                      << result.err.toStdString();
        return result.out;
    }

    // Sets the workstation up on engine as the README sets one up: the files (and a catalog of its own on the
    // server, Catalog()), the settings with workstation WS-01, user 1 "planner", workstation 1 "WS-01",
    // agency 1, client 2, one manual blacklist entry, requests for agency 1 and client 2, and a rebuild asked
    // for by user 1 from 2030-01-01 09:00:00.
    void SetUpWorkstation(Engine engine) {
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
        Execute(MainString(),
                u"INSERT INTO Blacklist (Client_ID, Agency_ID, Manually_Entered, Date_Created, Notes, "
                u"Created_By) "
                "VALUES (2, 1, 1, '2030-02-03 04:05:06', 'Refused, \"twice\"', 1)"_s);
        AdminOk(QStringList{u"enqueue"_s, u"agency"_s, u"1"_s} + Catalog());
        AdminOk(QStringList{u"enqueue"_s, u"client"_s, u"2"_s} + Catalog());
        AdminOk(QStringList{u"schedule"_s, u"--user"_s, u"1"_s, u"--at"_s, u"2030-01-01 09:00:00"_s} +
                Catalog());
    }
    // {"--catalog", name} after SetUpWorkstation on the server, {} otherwise.
    QStringList Catalog() const {
        return catalog_.isEmpty() ? QStringList{} : QStringList{u"--catalog"_s, catalog_};
    }
    // The connection strings of the workstation's main and users databases.
    QString MainString() const {
        return catalog_.isEmpty()
                   ? JetString(dataPath_ + u"KS.mdb"_s)
                   : u"Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source="_s +
                         testsupport::ServerDataSource() + u";Initial Catalog="_s + catalog_ + u";"_s;
    }
    QString UsersString() const { return JetString(dataPath_ + u"KS_users.mdb"_s); }
    // Every row of the tables the commands write, and the settings files, as text to compare.
    QStringList Snapshot() const {
        QStringList lines;
        // Each table (those of the users file first) and its fields, "|" between them.
        const std::pair<QString, QString> tables[] = {
            {u"[Application User List]"_s, u"ID|User Name"_s},
            {u"[Application Workstation List]"_s, u"ID|Workstation Name|Active"_s},
            {u"[Parameters]"_s, u"ID|Next_Rebuild_Requested_By|Next_Disqualifications_Rebuild"_s},
            {u"Disqualifications_Queue"_s, u"ID|Table_Name|Table_ID|Creation_Date"_s},
            {u"Agencies"_s, u"ID|Name"_s},
            {u"People"_s, u"ID|Last Name"_s},
            {u"Blacklist"_s, u"ID|Agency_ID|Client_ID|Notes"_s}};
        for (const auto& [table, fields] : tables) {
            for (const QStringList& row :
                 QueryRows(table.startsWith(u"[Application"_s) ? UsersString() : MainString(),
                           u"SELECT * FROM "_s + table + u" ORDER BY ID"_s, fields.split(u'|')))
                lines << table + u": "_s + row.join(u" | "_s);
        }
        for (const QString& file : QDir(configHome_ + u"/Kestrane"_s).entryList(QDir::Files))
            lines << file + u": "_s + ReadFile(configHome_ + u"/Kestrane/"_s + file);
        return lines;
    }

    // A file or folder in the workstation's own folder.
    QString Path(const QString& name) const { return env_.Dir() + u'/' + name; }
    // Writes text to a new file there, readable by its owner only, and returns its path.
    QString WriteFile(const QString& name, const QByteArray& text) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        file.write(text);
        return file.fileName();
    }

    // The folder, which the test process's settings also use, removed at the end.
    testsupport::ProgramEnvironment env_;
    QString configHome_ = Path(u"config"_s);
    QString dataPath_ = Path(u"data"_s) + u'/';
    QProcessEnvironment environment_ = testsupport::ChildEnvironment(configHome_, u"2030-01-01T08:00:00"_s);
    QString catalog_;  // on the server only
};

// A test with a workstation of its own.
class AdminTest : public ::testing::Test, protected Workstation {};

// A test on a workstation set up with SetUpWorkstation, once on each engine.
class AdminEngineTest : public AdminTest, public ::testing::WithParamInterface<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::Server)
            KESTRANE_REQUIRE_SERVER();
        SetUpWorkstation(GetParam());
    }
};

}  // namespace admintest
