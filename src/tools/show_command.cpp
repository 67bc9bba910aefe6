// kestrane-admin show: what the queue processor works on and what it leaves behind, as text a person reads.
#include "ado/connection.h"
#include "ado/recordset.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/data_location.h"
#include "tools/text_table.h"

#include <QTextStream>

namespace tools {

namespace {

// The rows of sql on connection as a table with the given columns (field names of the statement).
TextTable Query(ado::Connection& connection, const QString& sql, const QStringList& fields) {
    TextTable table(fields);
    ado::Recordset rows;
    rows.Open(sql, connection);
    while (!rows.Eof()) {
        QStringList cells;
        for (const QString& field : fields) {
            const ado::Variant& value = rows.Fields(field).Value();
            cells << (value.IsNull() ? QStringLiteral("(null)") : value.ToString());
        }
        table.AddRow(cells);
        rows.MoveNext();
    }
    return table;
}

int ShowBlacklist(const QCommandLineParser& parser, ado::Connection& connection) {
    QTextStream out(stdout);
    if (parser.isSet(QStringLiteral("pairs"))) {
        // One line per entry, sorted, for comparing two states of the table with diff or comm.
        ado::Recordset rows;
        rows.Open(QStringLiteral("SELECT Agency_ID, Client_ID, Manually_Entered FROM Blacklist "
                                 "ORDER BY Agency_ID, Client_ID, Manually_Entered"),
                  connection);
        while (!rows.Eof()) {
            out << rows.Fields(QStringLiteral("Agency_ID")).ToLong() << ' '
                << rows.Fields(QStringLiteral("Client_ID")).ToLong() << ' '
                << (rows.Fields(QStringLiteral("Manually_Entered")).ToBool() ? 'M' : 'A') << '\n';
            rows.MoveNext();
        }
        return 0;
    }
    const bool byAgency = parser.isSet(QStringLiteral("agency"));
    if (byAgency == parser.isSet(QStringLiteral("client")))
        throw UsageError(QStringLiteral("show blacklist takes one of --agency ID, --client ID or --pairs."));
    const QString key = byAgency ? QStringLiteral("Agency_ID") : QStringLiteral("Client_ID");
    const int32_t id =
        ParseNumber(parser.value(byAgency ? QStringLiteral("agency") : QStringLiteral("client")),
                    byAgency ? QStringLiteral("--agency") : QStringLiteral("--client"));
    Query(connection,
          QStringLiteral("SELECT * FROM Blacklist WHERE ") + key + QStringLiteral(" = ") +
              QString::number(id) + QStringLiteral(" ORDER BY ID"),
          {QStringLiteral("ID"), QStringLiteral("Agency_ID"), QStringLiteral("Client_ID"),
           QStringLiteral("Manually_Entered"), QStringLiteral("Date_Created"), QStringLiteral("Created_By"),
           QStringLiteral("Notes")})
        .Print(out);
    return 0;
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
    });
    AddLocationOptions(parser, true);
    ParseArguments(parser, arguments, 1);
    const QString what = parser.positionalArguments().at(0);
    const DataLocation location = ResolveDataLocation(LocationOverridesOf(parser));
    QTextStream out(stdout);

    if (what == QStringLiteral("log")) {
        ado::Connection users;
        users.Open(location.UsersConnectionString());
        QString sql = QStringLiteral("SELECT * FROM [Activity Log] ORDER BY ID");
        if (parser.isSet(QStringLiteral("last"))) {
            const int32_t last = ParseNumber(parser.value(QStringLiteral("last")), QStringLiteral("--last"));
            sql = QStringLiteral("SELECT * FROM (SELECT TOP ") + QString::number(last) +
                  QStringLiteral(" * FROM [Activity Log] ORDER BY ID DESC) AS t1 ORDER BY ID");
        }
        Query(users, sql,
              {QStringLiteral("ID"), QStringLiteral("Time"), QStringLiteral("User ID"),
               QStringLiteral("Workstation"), QStringLiteral("Notes")})
            .Print(out);
        return 0;
    }

    ado::Connection connection;
    connection.Open(location.MainConnectionString());
    if (what == QStringLiteral("blacklist"))
        return ShowBlacklist(parser, connection);
    if (what == QStringLiteral("queue")) {
        Query(connection, QStringLiteral("SELECT * FROM Disqualifications_Queue ORDER BY Creation_Date"),
              {QStringLiteral("ID"), QStringLiteral("Table_Name"), QStringLiteral("Table_ID"),
               QStringLiteral("Creation_Date")})
            .Print(out);
        return 0;
    }
    if (what == QStringLiteral("schedule")) {
        Query(connection, QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1"),
              {QStringLiteral("Next_Rebuild_Requested_By"), QStringLiteral("Next_Disqualifications_Rebuild")})
            .Print(out);
        return 0;
    }
    throw UsageError(QStringLiteral("WHAT is blacklist, queue, schedule or log, not \"") + what +
                     QStringLiteral("\"."));
}

}  // namespace

const Command kShowCommand{
    QStringLiteral("show"),
    QStringLiteral("blacklist (--agency ID | --client ID | --pairs) | queue | schedule | "
                   "log [--last N]  [--data-path DIR | --server SOURCE [--catalog NAME]]"),
    QStringLiteral("Show the blacklist of an agency or a client, the queue, the schedule or "
                   "the activity log."),
    RunShow};

}  // namespace tools
