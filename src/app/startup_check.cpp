#include "app/startup_check.h"

#include "ado/connection.h"
#include "ado/connection_string.h"
#include "ado/recordset.h"
#include "data/connect_database.h"
#include "data/connection_settings.h"
#include "data/queue_census.h"
#include "data/run_guard.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/runtime_error.h"
#include "platform/settings.h"

#include <QFileInfo>

#include <memory>
#include <optional>

namespace app {

namespace {

const QString kWorkstationApplication = QStringLiteral("Halvermoor Software");

// One line of the report: a heading in a column of its own, then what was found.
void Report(QTextStream& out, const QString& heading, const QString& text) {
    out << (heading + u':').leftJustified(14) << text << Qt::endl;
}

// What a settings file says about keys, or that it is missing. Passwords are never shown.
QString SettingsText(const QString& application, const QString& section, const QStringList& keys) {
    const QString file = platform::SettingsFile(application);
    if (!QFileInfo::exists(file))
        return file + QStringLiteral(": missing");
    QStringList said;
    for (const QString& key : keys) {
        const QString value = platform::GetSetting(application, section, key);
        if (!value.isEmpty())
            said << key + u'=' + (key.contains(QStringLiteral("Password")) ? QStringLiteral("(set)") : value);
    }
    return file + QStringLiteral(": ") +
           (said.isEmpty() ? QStringLiteral("nothing this program reads") : said.join(QStringLiteral(", ")));
}

// The settings of application "KS", section "Data", that ConnectDatabase finds missing or unusable.
QStringList MissingSettings() {
    const auto get = [](const QString& key) {
        return platform::GetSetting(data::kProductCode, QStringLiteral("Data"), key);
    };
    QStringList missing;
    const QString type = get(QStringLiteral("Datasource Type"));
    if (type.isEmpty())
        missing << QStringLiteral("Datasource Type");
    if (get(data::kProductCode + QStringLiteral(" Data Path")).isEmpty())
        missing << data::kProductCode + QStringLiteral(" Data Path");
    if (!type.isEmpty() && type != QStringLiteral("Access")) {
        if (get(QStringLiteral("Server Name")).isEmpty())
            missing << QStringLiteral("Server Name");
        const QString trusted = get(QStringLiteral("Trusted Connection"));
        if (trusted != QStringLiteral("Yes") && trusted != QStringLiteral("No"))
            missing << QStringLiteral("Trusted Connection (Yes or No)");
    }
    return missing;
}

// Where a connection string points: the file, or the server and catalog. Never its password.
QString DataSourceOf(const QString& connectionString) {
    const ado::ConnectionString parsed(connectionString);
    const QString catalog = parsed.Get(QStringLiteral("Initial Catalog"));
    return parsed.Get(QStringLiteral("Data Source")) +
           (catalog.isEmpty() ? QString() : QStringLiteral(" catalog ") + catalog);
}

QString ErrorText(const platform::RuntimeError& error) {
    return error.Description() + QStringLiteral(" (error ") + QString::number(error.Number()) + u')';
}

// Opens a connection as start-up does, without retry or dialog; reports it. Null when it does not open.
std::unique_ptr<ado::Connection> OpenAndReport(QTextStream& out, const QString& heading,
                                               const QString& connectionString) {
    auto connection = std::make_unique<ado::Connection>();
    try {
        connection->Open(connectionString, QString(), QString(), -1);
        Report(out, heading, QStringLiteral("opens: ") + DataSourceOf(connectionString));
        return connection;
    } catch (const platform::RuntimeError& error) {
        Report(out, heading,
               QStringLiteral("FAILS: ") + DataSourceOf(connectionString) + QStringLiteral(": ") +
                   ErrorText(error));
        return nullptr;
    }
}

// The first row of sql on connection, read-only; the recordset stays open for its fields.
std::unique_ptr<ado::Recordset> Query(ado::Connection& connection, const QString& sql) {
    auto recordset = std::make_unique<ado::Recordset>();
    recordset->Open(sql, connection, ado::adOpenForwardOnly, ado::adLockReadOnly, -1);
    return recordset;
}

struct Findings {
    bool failed = false;  // a run would end with a run-time error
    bool anotherRun = false;
    bool admitted = false;
    bool scheduled = false;
    data::QueueCensus census;
};

void CheckAnotherRun(QTextStream& out, Findings& found) {
    const std::optional<data::RunHolder> holder = data::FindActiveRun(data::Settings());
    if (!holder) {
        Report(out, QStringLiteral("Another run"), QStringLiteral("none holds this data"));
        return;
    }
    found.anotherRun = true;
    Report(out, QStringLiteral("Another run"),
           holder->pid == 0
               ? QStringLiteral("one holds this data (") + holder->dataSource + u')'
               : QStringLiteral("process ") + QString::number(holder->pid) + QStringLiteral(" on ") +
                     holder->host + QStringLiteral(" since ") + platform::FormatGeneralDate(holder->since) +
                     QStringLiteral(" holds ") + holder->dataSource);
}

void CheckSchedule(QTextStream& out, ado::Connection& main, ado::Connection& users, Findings& found) {
    const std::unique_ptr<ado::Recordset> parameters =
        Query(main, QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1"));
    if (parameters->Eof()) {
        Report(out, QStringLiteral("Schedule"),
               QStringLiteral("[Parameters] has no row 1: nothing is scheduled"));
        return;
    }
    const ado::Field& requester = parameters->Fields(QStringLiteral("Next_Rebuild_Requested_By"));
    if (requester.IsNull() || requester.ToLong() == 0) {
        Report(out, QStringLiteral("Schedule"), QStringLiteral("no rebuild has been scheduled"));
        return;
    }
    const int32_t userId = requester.ToLong();
    const QDateTime when = parameters->Fields(QStringLiteral("Next_Disqualifications_Rebuild")).ToDate();
    const bool known = !Query(users, QStringLiteral("SELECT * FROM [Application User List] WHERE ID = ") +
                                         QString::number(userId))
                            ->Eof();
    found.scheduled = true;
    const int64_t wait = platform::DateDiffSeconds(platform::Now(), when);
    Report(
        out, QStringLiteral("Schedule"),
        QStringLiteral("a rebuild asked for by user ") + QString::number(userId) +
            (known ? QString() : QStringLiteral(" (not in the users list: the run goes on as user 0)")) +
            QStringLiteral(" for ") + platform::FormatGeneralDate(when) +
            (wait > 0 ? QStringLiteral(", a run would wait ") + QString::number(wait) + QStringLiteral(" s")
                      : QStringLiteral(", due now")));
}

void CheckAdmission(QTextStream& out, ado::Connection& users, Findings& found) {
    const QString name = platform::GetSetting(kWorkstationApplication, QStringLiteral("Settings"),
                                              QStringLiteral("Workstation Name"));
    if (name.isEmpty()) {
        Report(out, QStringLiteral("Admission"), QStringLiteral("not set up: no Workstation Name"));
        return;
    }
    // The statement of a run, so that a name a run cannot use fails here too.
    const std::unique_ptr<ado::Recordset> workstation = Query(
        users, QStringLiteral("SELECT * FROM [Application Workstation List] WHERE [Workstation Name] = '") +
                   name + QStringLiteral("' AND Active = TRUE"));
    if (workstation->Eof()) {
        Report(out, QStringLiteral("Admission"),
               name + QStringLiteral(" is not a registered, active workstation"));
        return;
    }
    found.admitted = true;
    Report(out, QStringLiteral("Admission"),
           name + QStringLiteral(" is registered and active (ID ") +
               QString::number(workstation->Fields(QStringLiteral("ID")).ToLong()) + u')');
}

void CheckQueue(QTextStream& out, ado::Connection& main, Findings& found) {
    found.census = data::CountQueue(main);
    Report(out, QStringLiteral("Queue"),
           QString::number(found.census.queued) + QStringLiteral(" request(s)") +
               (found.census.agencyMissing == 0
                    ? QString()
                    : QStringLiteral(", ") + QString::number(found.census.agencyMissing) +
                          QStringLiteral(
                              " of them for an agency that does not exist (a run leaves them queued)")));
}

// The status a run would end with, and why.
std::pair<int, QString> Verdict(const Findings& found) {
    if (found.anotherRun)
        return {platform::kExitAnotherRun, QStringLiteral("another run holds the data")};
    if (found.failed)
        return {platform::kExitUnhandledError, QStringLiteral("a run would end with a run-time error")};
    if (!found.admitted)
        return {platform::kExitNotAdmitted, QStringLiteral("this workstation is not admitted")};
    if (!found.scheduled)
        return {platform::kExitNormal, QStringLiteral("no rebuild has been scheduled")};
    if (found.census.agencyMissing > 0) {
        return {platform::kExitRequestsLeft,
                QStringLiteral("requests would stay in the queue because their agency does not exist")};
    }
    return {platform::kExitNormal, QStringLiteral("a run would process the queue")};
}

}  // namespace

int CheckStartup(QTextStream& out) {
    Report(out, QStringLiteral("Settings"),
           SettingsText(data::kProductCode, QStringLiteral("Data"),
                        {QStringLiteral("Datasource Type"), data::kProductCode + QStringLiteral(" Data Path"),
                         QStringLiteral("Server Name"), QStringLiteral("Trusted Connection"),
                         QStringLiteral("Server User ID"), QStringLiteral("Server Password")}));
    Report(out, QStringLiteral("Workstation"),
           SettingsText(kWorkstationApplication, QStringLiteral("Settings"),
                        {QStringLiteral("Workstation Name")}));

    // The settings are read as a run reads them; what a run would show in a message box is the verdict here.
    bool incomplete = false;
    const auto answers = std::make_shared<platform::ScriptedAnswerer>();
    platform::SetMessageBoxAnswerer(answers);
    data::ConnectDatabase(incomplete);
    platform::SetMessageBoxAnswerer(nullptr);
    if (incomplete) {
        out << "A run would end with status " << platform::kExitIncompleteSettings
            << ": the settings are incomplete (missing: " << MissingSettings().join(QStringLiteral(", "))
            << ")." << Qt::endl;
        return platform::kExitIncompleteSettings;
    }

    Findings found;
    const data::ConnectionSettings& settings = data::Settings();
    const std::unique_ptr<ado::Connection> main =
        OpenAndReport(out, QStringLiteral("Main data"), settings.mainConnectionString);
    const std::unique_ptr<ado::Connection> users =
        OpenAndReport(out, QStringLiteral("Users data"), settings.usersConnectionString);
    found.failed = !main || !users;
    try {
        CheckAnotherRun(out, found);
        if (main && users) {
            CheckSchedule(out, *main, *users, found);
            CheckAdmission(out, *users, found);
            CheckQueue(out, *main, found);
        }
    } catch (const platform::RuntimeError& error) {
        found.failed = true;
        Report(out, QStringLiteral("Error"), ErrorText(error));
    }
    const auto [status, why] = Verdict(found);
    out << "A run would end with status " << status << ": " << why << '.' << Qt::endl;
    return status;
}

}  // namespace app
