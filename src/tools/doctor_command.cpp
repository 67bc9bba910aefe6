// kestrane-admin doctor: checks, in the order the processor meets them, what a run of it needs on this
// workstation, and prints one line per check: OK and what was found, or FAIL and what to do.
#include "ado/recordset.h"
#include "data/connection_settings.h"
#include "data/run_guard.h"
#include "platform/settings.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/database.h"
#include "tools/required_tables.h"
#include "tools/server_password.h"

#include <QFileInfo>
#include <QTextStream>

#include <memory>
#include <vector>

namespace tools {

namespace {

const QString kDataSection = QStringLiteral("Data");
constexpr int kListedRequests = 5;

QString DataSetting(const QString& key) {
    return platform::GetSetting(data::kProductCode, kDataSection, key);
}

struct Outcome {
    enum class State { Ok, Fail, Skipped } state;
    QString text;
};

Outcome Ok(const QString& text) {
    return {Outcome::State::Ok, text};
}
Outcome Fail(const QString& text) {
    return {Outcome::State::Fail, text};
}
Outcome Skipped(const QString& why) {
    return {Outcome::State::Skipped, why};
}

// What the checks learn and pass on to the later ones.
class Doctor {
public:
    // catalog: the server catalog to check, "Kestrane" unless the command line names another.
    explicit Doctor(QString catalog) : catalog_(std::move(catalog)) {}
    // Runs every check in order and prints its line. Returns true when every check passed.
    bool Run(QTextStream& out);

private:
    Outcome Settings();
    Outcome Opens(std::unique_ptr<Database>& database, const QString& role, const QString& connectionString);
    Outcome Tables();
    Outcome Workstation();
    Outcome Schedule();
    Outcome Queue();
    Outcome ActiveRun();

    QString catalog_;
    QString dataPath_;
    bool onServer_ = false;
    QString mainString_;
    QString usersString_;
    std::unique_ptr<Database> main_;
    std::unique_ptr<Database> users_;
};

bool Doctor::Run(QTextStream& out) {
    bool passed = true;
    const auto report = [&](const QString& name, const Outcome& outcome) {
        passed = passed && outcome.state == Outcome::State::Ok;
        const char* word = outcome.state == Outcome::State::Ok     ? "OK  "
                           : outcome.state == Outcome::State::Fail ? "FAIL"
                                                                   : "SKIP";
        out << word << "  " << (name + QLatin1Char(':')).leftJustified(16) << outcome.text << Qt::endl;
    };
    report(QStringLiteral("settings"), Settings());
    report(QStringLiteral("main database"), Opens(main_, QStringLiteral("the main database"), mainString_));
    report(QStringLiteral("users database"),
           Opens(users_, QStringLiteral("the users database"), usersString_));
    report(QStringLiteral("tables"), Tables());
    report(QStringLiteral("workstation"), Workstation());
    report(QStringLiteral("schedule"), Schedule());
    report(QStringLiteral("queue"), Queue());
    report(QStringLiteral("run"), ActiveRun());
    return passed;
}

// The settings files, read as the processor reads them, and who may read the one that holds a password.
Outcome Doctor::Settings() {
    const QString file = platform::SettingsFile(data::kProductCode);
    if (!QFileInfo::exists(file)) {
        return Fail(QStringLiteral("there is no ") + file +
                    QStringLiteral(": kestrane-admin configure --data-path DIR [--server SOURCE] "
                                   "--workstation NAME"));
    }
    QStringList problems;
    const QString type = DataSetting(QStringLiteral("Datasource Type"));
    const bool onServer = type != QStringLiteral("Access");
    if (type.isEmpty()) {
        problems << QStringLiteral(
            "\"Datasource Type\" is not set (kestrane-admin configure --data-path DIR "
            "or --server SOURCE)");
    } else if (onServer && type != QStringLiteral("SQL Server")) {
        problems << QStringLiteral(
                        "\"Datasource Type\" is \"%1\", which the processor takes for the server; only "
                        "\"Access\" selects the files (kestrane-admin configure --datasource-type)")
                        .arg(type);
    }
    const QString dataPath = DataSetting(data::kProductCode + QStringLiteral(" Data Path"));
    if (dataPath.isEmpty()) {
        problems << QStringLiteral("\"KS Data Path\" is not set (kestrane-admin configure --data-path DIR)");
    } else if (!dataPath.endsWith(QLatin1Char('/'))) {
        problems << QStringLiteral(
            "\"KS Data Path\" does not end with \"/\", and the processor appends file "
            "names to it as it is (kestrane-admin configure --data-path DIR)");
    }
    const QString server = DataSetting(QStringLiteral("Server Name"));
    const QString trusted = DataSetting(QStringLiteral("Trusted Connection"));
    const QString login = DataSetting(QStringLiteral("Server User ID"));
    const QString password = DataSetting(QStringLiteral("Server Password"));
    if (onServer && server.isEmpty())
        problems << QStringLiteral("\"Server Name\" is not set (kestrane-admin configure --server SOURCE)");
    if (onServer && trusted != QStringLiteral("Yes") && trusted != QStringLiteral("No")) {
        problems << QStringLiteral(
                        "\"Trusted Connection\" is \"%1\", neither \"Yes\" nor \"No\" "
                        "(kestrane-admin configure --server SOURCE [--login USER])")
                        .arg(trusted);
    }
    for (const auto& [key, value] : {std::pair{QStringLiteral("KS Data Path"), dataPath},
                                     {QStringLiteral("Server Name"), server},
                                     {QStringLiteral("Server User ID"), login},
                                     {QStringLiteral("Server Password"), password}}) {
        const QString problem = ConnectionValueProblem(value);
        if (!problem.isEmpty()) {
            problems << QStringLiteral(
                            "\"%1\" holds %2, which cuts the connection string short (kestrane-admin "
                            "configure)")
                            .arg(key, problem);
        }
    }
    if (!password.isEmpty() && ReadableByOthers(file))
        problems << QStringLiteral("it holds the server password and other users can read it: chmod 600 ") +
                        file;

    dataPath_ = dataPath;
    onServer_ = onServer;
    if (!dataPath.isEmpty()) {
        usersString_ =
            data::AccessMainConnectionString(dataPath + data::kProductCode + QStringLiteral("_users.mdb"));
        if (!onServer) {
            mainString_ =
                data::AccessMainConnectionString(dataPath + data::kProductCode + QStringLiteral(".mdb"));
        } else if (!server.isEmpty() && trusted == QStringLiteral("Yes")) {
            mainString_ = data::ServerIntegratedConnectionString(server, catalog_);
        } else if (!server.isEmpty() && trusted == QStringLiteral("No")) {
            mainString_ = data::ServerLoginConnectionString(server, login, password, catalog_);
        }
    }
    if (!problems.isEmpty())
        return Fail(file + QStringLiteral(": ") + problems.join(QStringLiteral("; ")));
    QString where = onServer
                        ? QStringLiteral("the catalog ") + catalog_ + QStringLiteral(" on ") + server +
                              QStringLiteral(" as ") +
                              (trusted == QStringLiteral("Yes") ? QStringLiteral("this system user") : login)
                        : QStringLiteral("the files in ") + dataPath;
    if (!password.isEmpty())
        where += QStringLiteral(", password readable by you alone");
    return Ok(file + QStringLiteral(": ") + where);
}

// Opens one data source as the processor would.
Outcome Doctor::Opens(std::unique_ptr<Database>& database, const QString& role,
                      const QString& connectionString) {
    if (connectionString.isEmpty())
        return Skipped(QStringLiteral("the settings do not say where it is"));
    auto opened = std::make_unique<Database>(role, connectionString);
    try {
        opened->Connection().Open(connectionString);
    } catch (const ado::Error& error) {
        QString hint;
        switch (error.NativeError()) {
            case ado::JET_FILE_NOT_FOUND:
                hint = QStringLiteral(
                    "kestrane-admin init --data-path DIR makes the files, or correct \"KS Data "
                    "Path\"");
                break;
            case ado::SQL_SERVER_UNREACHABLE:
                hint = QStringLiteral("start the server, or correct \"Server Name\"");
                break;
            case ado::SQL_LOGIN_FAILED:
                hint = QStringLiteral(
                    "correct the login (kestrane-admin configure --server SOURCE --login USER) "
                    "or the password in libpq's password file");
                break;
            case ado::SQL_NO_DATABASE:
                hint = QStringLiteral("kestrane-admin init --server SOURCE makes the catalog");
                break;
            default:
                break;
        }
        return Fail(opened->Place() + QStringLiteral(" does not open: ") +
                    CauseInWords(error, opened->OnServer()) +
                    (hint.isEmpty() ? QString() : QStringLiteral("; ") + hint));
    }
    database = std::move(opened);
    return Ok(database->Place() + QStringLiteral(" opens"));
}

Outcome Doctor::Tables() {
    if (!main_ && !users_)
        return Skipped(QStringLiteral("no database opens"));
    QStringList problems;
    int checked = 0;
    for (const RequiredTable& table : RequiredTables()) {
        Database* database = table.inUsersDatabase ? users_.get() : main_.get();
        if (!database)
            continue;
        problems += database->Read(QStringLiteral("read the tables of"), [&](ado::Connection& connection) {
            return TableProblems(connection, database->OnServer(), table);
        });
        ++checked;
    }
    if (!problems.isEmpty()) {
        return Fail(problems.join(QStringLiteral("; ")) +
                    QStringLiteral(" (kestrane-admin init makes the tables in a new database)"));
    }
    if (!main_ || !users_)
        return Skipped(
            QStringLiteral("one database does not open; the other's %1 tables are fine").arg(checked));
    return Ok(
        QStringLiteral("the %1 tables the processor uses have their fields, with usable types").arg(checked));
}

// The workstation's name, and its row in [Application Workstation List], found as the processor finds it.
Outcome Doctor::Workstation() {
    const QString name = platform::GetSetting(QStringLiteral("Halvermoor Software"),
                                              QStringLiteral("Settings"), QStringLiteral("Workstation Name"));
    if (name.isEmpty()) {
        return Fail(QStringLiteral("no workstation name is set in ") +
                    platform::SettingsFile(QStringLiteral("Halvermoor Software")) +
                    QStringLiteral(": kestrane-admin configure --workstation NAME"));
    }
    if (name.contains(QLatin1Char('\''))) {
        return Fail(
            QStringLiteral("the name \"%1\" holds an apostrophe, which breaks the processor's look-up: "
                           "register and configure a name without one")
                .arg(name));
    }
    if (!users_)
        return Skipped(QStringLiteral("the users database does not open"));
    int32_t registered = 0;
    int32_t active = 0;
    users_->Read(QStringLiteral("read the workstations in"), [&](ado::Connection& connection) {
        ado::Recordset rows;
        rows.Open(QStringLiteral(
                      "SELECT ID, Active FROM [Application Workstation List] WHERE [Workstation Name] = ") +
                      SqlText(name) + QStringLiteral(" ORDER BY ID"),
                  connection);
        for (; !rows.Eof(); rows.MoveNext()) {
            registered = registered ? registered : rows.Fields(QStringLiteral("ID")).ToLong();
            if (!active && !rows.Fields(QStringLiteral("Active")).IsNull() &&
                rows.Fields(QStringLiteral("Active")).ToBool())
                active = rows.Fields(QStringLiteral("ID")).ToLong();
        }
    });
    if (!registered)
        return Fail(
            QStringLiteral("\"%1\" is not registered: kestrane-admin add-workstation \"%1\"").arg(name));
    if (!active) {
        return Fail(QStringLiteral("\"%1\" is registered (ID %2) but not active: set Active in [Application "
                                   "Workstation List] of %3")
                        .arg(name)
                        .arg(registered)
                        .arg(users_->Place()));
    }
    return Ok(QStringLiteral("\"%1\" is registered (ID %2) and active").arg(name).arg(active));
}

// The schedule in [Parameters] row 1 and the user who asked for it.
Outcome Doctor::Schedule() {
    if (!main_)
        return Skipped(QStringLiteral("the main database does not open"));
    bool rowFound = false;
    ado::Variant requester;
    ado::Variant from;
    main_->Read(QStringLiteral("read the schedule in"), [&](ado::Connection& connection) {
        ado::Recordset row;
        row.Open(QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1"), connection);
        rowFound = !row.Eof();
        if (rowFound) {
            requester = row.Fields(QStringLiteral("Next_Rebuild_Requested_By")).Value();
            from = row.Fields(QStringLiteral("Next_Disqualifications_Rebuild")).Value();
        }
    });
    if (!rowFound) {
        return Fail(
            QStringLiteral("[Parameters] has no row with ID 1, so the processor never finds a schedule: "
                           "kestrane-admin schedule --clear adds it"));
    }
    if (requester.IsNull() || requester.ToLong() == 0) {
        return Ok(
            QStringLiteral("nothing is scheduled (kestrane-admin schedule --user ID --in 0 schedules a "
                           "rebuild)"));
    }
    const int32_t user = requester.ToLong();
    if (from.IsNull()) {
        return Fail(
            QStringLiteral("user %1 asked for a rebuild with no time, and the processor would stop with "
                           "\"Invalid use of Null\": kestrane-admin schedule --user %1 --in 0")
                .arg(user));
    }
    if (!users_)
        return Skipped(QStringLiteral("the users database does not open"));
    QString userName;
    const bool known = users_->Read(QStringLiteral("look the user up in"), [&](ado::Connection& connection) {
        ado::Recordset row;
        row.Open(QStringLiteral("SELECT * FROM [Application User List] WHERE ID = ") + QString::number(user),
                 connection);
        if (!row.Eof())
            userName = row.Fields(QStringLiteral("User Name")).ToString();
        return !row.Eof();
    });
    const QString when = from.ToDate().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!known) {
        return Fail(
            QStringLiteral("a rebuild from %1 is asked for by user %2, who is not in [Application User "
                           "List], so the run would be logged under user 0: kestrane-admin add-user NAME, "
                           "then kestrane-admin schedule --user ID")
                .arg(when)
                .arg(user));
    }
    return Ok(
        QStringLiteral("a rebuild from %1 is asked for by user %2 (%3)").arg(when).arg(user).arg(userName));
}

// Queued requests whose agency or client does not exist: the processor leaves an agency request queued for
// good, and rebuilds nothing for a client.
Outcome Doctor::Queue() {
    if (!main_)
        return Skipped(QStringLiteral("the main database does not open"));
    int32_t queued = 0;
    QStringList orphans;
    int32_t orphanCount = 0;
    main_->Read(QStringLiteral("read the queue in"), [&](ado::Connection& connection) {
        ado::Recordset count;
        count.Open(QStringLiteral("SELECT COUNT(*) AS N FROM Disqualifications_Queue"), connection);
        queued = count.Fields(QStringLiteral("N")).ToLong();
        for (const auto& [kind, sql] :
             {std::pair{QStringLiteral("agency"),
                        QStringLiteral(
                            "SELECT q.ID, q.Table_ID FROM Disqualifications_Queue q LEFT JOIN Agencies a "
                            "ON a.ID = q.Table_ID WHERE q.Table_Name = 'Agencies' AND a.ID IS NULL "
                            "ORDER BY q.ID")},
              {QStringLiteral("client"),
               QStringLiteral(
                   "SELECT q.ID, q.Table_ID FROM Disqualifications_Queue q LEFT JOIN People p ON p.ID = "
                   "q.Table_ID WHERE (q.Table_Name IS NULL OR q.Table_Name <> 'Agencies') AND p.ID IS "
                   "NULL ORDER BY q.ID")}}) {
            ado::Recordset rows;
            rows.Open(sql, connection);
            for (; !rows.Eof(); rows.MoveNext(), ++orphanCount) {
                if (orphans.size() < kListedRequests) {
                    const ado::Variant& id = rows.Fields(QStringLiteral("Table_ID")).Value();
                    orphans << QStringLiteral("%1 %2 (request %3)")
                                   .arg(kind, id.IsNull() ? QStringLiteral("with no ID") : id.ToString())
                                   .arg(rows.Fields(QStringLiteral("ID")).ToLong());
                }
            }
        }
    });
    if (orphanCount > 0) {
        return Fail(
            QStringLiteral("%1 of %2 queued requests name what does not exist: %3%4; the processor leaves "
                           "an agency's request queued and rebuilds nothing for a client: add the agency "
                           "or client, or delete the request from Disqualifications_Queue")
                .arg(orphanCount)
                .arg(queued)
                .arg(orphans.join(QStringLiteral(", ")))
                .arg(orphanCount > kListedRequests ? QStringLiteral(", ...") : QString()));
    }
    return Ok(
        queued == 0
            ? QStringLiteral("the queue is empty")
            : QStringLiteral("%1 queued requests, each for an agency or client that exists").arg(queued));
}

// A processor run that holds the data now: a run started meanwhile would end at once with status 75.
Outcome Doctor::ActiveRun() {
    if (dataPath_.isEmpty())
        return Skipped(QStringLiteral("the settings do not say where the data is"));
    data::ConnectionSettings settings;
    settings.dataPath = dataPath_;
    settings.accessFlag = !onServer_;
    settings.mainConnectionString = mainString_;
    std::optional<data::RunHolder> holder;
    try {
        holder = data::FindActiveRun(settings);
    } catch (const ado::Error& error) {
        return Fail(QStringLiteral("cannot ask the server whether a run holds the catalog: ") +
                    CauseInWords(error, true));
    }
    if (!holder)
        return Ok(QStringLiteral("no processor run holds the data"));
    const QString who =
        holder->pid == 0
            ? QStringLiteral("a run that did not say who it is")
            : QStringLiteral("process %1 on %2 since %3")
                  .arg(holder->pid)
                  .arg(holder->host, holder->since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    return Fail(
        QStringLiteral("a processor run holds %1: %2; wait for it to end (a run started now exits with 75), "
                       "or end that process if it hangs")
            .arg(holder->dataSource, who));
}

int RunDoctor(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("catalog"),
                      QStringLiteral("Check this catalog on the configured server instead of Kestrane."),
                      QStringLiteral("NAME")});
    ParseArguments(parser, arguments, 0);
    QString catalog = data::kServerCatalog;
    if (parser.isSet(QStringLiteral("catalog"))) {
        catalog = RequireName(parser.value(QStringLiteral("catalog")), QStringLiteral("--catalog"));
        RequireConnectionValue(catalog, QStringLiteral("--catalog"));
    }
    QTextStream out(stdout);
    return Doctor(catalog).Run(out) ? kExitOk : kExitChecksFailed;
}

}  // namespace

const Command kDoctorCommand{
    QStringLiteral("doctor"), QStringLiteral("[--catalog NAME]"),
    QStringLiteral(
        "Check what a run of the processor needs on this workstation, in order: the settings files,\n"
        "      each data source, the tables and fields, the workstation's registration, the schedule,\n"
        "      the queue, a processor run holding the data. One line per check: OK, or FAIL and what to\n"
        "      do. Exit status 0 when all pass."),
    RunDoctor};

}  // namespace tools
