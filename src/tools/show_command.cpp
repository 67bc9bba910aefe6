// kestrane-admin show: what the queue processor works on and what it leaves behind, as a table for people or
// as CSV or JSON for scripts.
#include "ado/recordset.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/data_location.h"
#include "tools/output_table.h"

#include <QTextStream>

namespace tools {

namespace {

// The rows of sql in database as a table with the given columns (field names of the statement).
OutputTable Query(Database& database, const QString& what, const QString& sql, const QStringList& fields) {
    OutputTable table(fields);
    database.Read(QStringLiteral("read ") + what + QStringLiteral(" in"), [&](ado::Connection& connection) {
        ado::Recordset rows;
        rows.Open(sql, connection);
        for (; !rows.Eof(); rows.MoveNext()) {
            std::vector<ado::Variant> values;
            for (const QString& field : fields)
                values.push_back(rows.Fields(field).Value());
            table.AddRow(std::move(values));
        }
    });
    return table;
}

// One line per entry, sorted, for comparing two states of the table with diff or comm.
void PrintPairs(Database& database) {
    QTextStream out(stdout);
    database.Read(QStringLiteral("read the blacklist in"), [&](ado::Connection& connection) {
        ado::Recordset rows;
        rows.Open(QStringLiteral("SELECT Agency_ID, Client_ID, Manually_Entered FROM Blacklist "
                                 "ORDER BY Agency_ID, Client_ID, Manually_Entered"),
                  connection);
        for (; !rows.Eof(); rows.MoveNext()) {
            out << rows.Fields(QStringLiteral("Agency_ID")).ToLong() << ' '
                << rows.Fields(QStringLiteral("Client_ID")).ToLong() << ' '
                << (rows.Fields(QStringLiteral("Manually_Entered")).ToBool() ? 'M' : 'A') << '\n';
        }
    });
}

// The statement that reads the blacklist entries the options ask for.
QString BlacklistQuery(const QCommandLineParser& parser) {
    const bool byAgency = parser.isSet(QStringLiteral("agency"));
    const bool byClient = parser.isSet(QStringLiteral("client"));
    if (byAgency && byClient)
        throw UsageError(QStringLiteral("show blacklist takes --agency ID or --client ID, not both."));
    if (!byAgency && !byClient)
        return QStringLiteral("SELECT * FROM Blacklist ORDER BY ID");
    const QString option = byAgency ? QStringLiteral("agency") : QStringLiteral("client");
    const int32_t id = ParseCount(parser.value(option), QStringLiteral("--") + option);
    return QStringLiteral("SELECT * FROM Blacklist WHERE ") +
           (byAgency ? QStringLiteral("Agency_ID") : QStringLiteral("Client_ID")) + QStringLiteral(" = ") +
           QString::number(id) + QStringLiteral(" ORDER BY ID");
}

int RunShow(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("WHAT"),
                                 QStringLiteral("blacklist, queue, schedule or log."));
    parser.addOptions({
        {QStringLiteral("agency"), QStringLiteral("blacklist: the entries of one agency."),
         QStringLiteral("ID")},
        {QStringLiteral("client"), QStringLiteral("blacklist: the entries of one client."),
         QStringLiteral("ID")},
        {QStringLiteral("pairs"), QStringLiteral("blacklist: every entry as \"agency client A|M\".")},
        {QStringLiteral("last"), QStringLiteral("log: only the last N lines."), QStringLiteral("N")},
        {QStringLiteral("format"), QStringLiteral("table (default), csv or json."), QStringLiteral("FORMAT")},
    });
    AddLocationOptions(parser, true);
    ParseArguments(parser, arguments, 1);
    const QString what = parser.positionalArguments().at(0);
    const OutputFormat format = parser.isSet(QStringLiteral("format"))
                                    ? ParseOutputFormat(parser.value(QStringLiteral("format")))
                                    : OutputFormat::Table;
    QString sql;
    QStringList fields;
    if (what == QStringLiteral("log")) {
        sql = QStringLiteral("SELECT * FROM [Activity Log] ORDER BY ID");
        if (parser.isSet(QStringLiteral("last"))) {
            const int32_t last = ParseCount(parser.value(QStringLiteral("last")), QStringLiteral("--last"));
            sql = QStringLiteral("SELECT * FROM (SELECT TOP ") + QString::number(last) +
                  QStringLiteral(" * FROM [Activity Log] ORDER BY ID DESC) AS t1 ORDER BY ID");
        }
        fields = QStringList{QStringLiteral("ID"), QStringLiteral("Time"), QStringLiteral("User ID"),
                             QStringLiteral("Workstation"), QStringLiteral("Notes")};
    } else if (what == QStringLiteral("blacklist")) {
        if (!parser.isSet(QStringLiteral("pairs")))
            sql = BlacklistQuery(parser);
        fields = QStringList{QStringLiteral("ID"),           QStringLiteral("Agency_ID"),
                             QStringLiteral("Client_ID"),    QStringLiteral("Manually_Entered"),
                             QStringLiteral("Date_Created"), QStringLiteral("Created_By"),
                             QStringLiteral("Notes")};
    } else if (what == QStringLiteral("queue")) {
        sql = QStringLiteral("SELECT * FROM Disqualifications_Queue ORDER BY Creation_Date");
        fields = QStringList{QStringLiteral("ID"), QStringLiteral("Table_Name"), QStringLiteral("Table_ID"),
                             QStringLiteral("Creation_Date")};
    } else if (what == QStringLiteral("schedule")) {
        sql = QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1");
        fields = QStringList{QStringLiteral("Next_Rebuild_Requested_By"),
                             QStringLiteral("Next_Disqualifications_Rebuild")};
    } else {
        throw UsageError(QStringLiteral("WHAT is blacklist, queue, schedule or log, not \"") + what +
                         QStringLiteral("\"."));
    }

    const DataLocation location = ResolveDataLocation(LocationOverridesOf(parser));
    Database database = what == QStringLiteral("log") ? location.UsersDatabase() : location.MainDatabase();
    database.Open();
    if (sql.isEmpty()) {
        PrintPairs(database);
        return kExitOk;
    }
    QTextStream out(stdout);
    Query(database, QStringLiteral("the ") + what, sql, fields).Print(out, format);
    return kExitOk;
}

}  // namespace

const Command kShowCommand{
    QStringLiteral("show"),
    QStringLiteral("blacklist [--agency ID | --client ID | --pairs] | queue | schedule | log [--last N]\n"
                   "      [--format table|csv|json] [--data-path DIR | --server SOURCE [--catalog NAME]]"),
    QStringLiteral("Show the blacklist (all of it, of an agency or of a client), the queue, the schedule or\n"
                   "      the activity log. CSV and JSON carry ISO 8601 dates whatever the locale."),
    RunShow};

}  // namespace tools
