// kestrane-admin enqueue: asks for the rebuild of one agency or one client, as the product's other programs
// do.
#include "ado/connection.h"
#include "ado/recordset.h"
#include "platform/clock.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/data_location.h"
#include "tools/new_row.h"

#include <QTextStream>

namespace tools {

namespace {

// The table names the product's programs write: "Agencies" for an agency; a client request names the people
// table, and any other text is taken as a client too.
const QString kAgencyTable = QStringLiteral("Agencies");
const QString kClientTable = QStringLiteral("People");

int RunEnqueue(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("KIND"), QStringLiteral("agency or client."));
    parser.addPositionalArgument(QStringLiteral("ID"), QStringLiteral("The agency's or the client's ID."));
    parser.addOption({QStringLiteral("table-name"),
                      QStringLiteral("Write this Table_Name instead of the usual one for KIND."),
                      QStringLiteral("TEXT")});
    AddLocationOptions(parser, true);
    ParseArguments(parser, arguments, 2);
    const QString kind = parser.positionalArguments().at(0);
    if (kind != QStringLiteral("agency") && kind != QStringLiteral("client"))
        throw UsageError(QStringLiteral("KIND is agency or client, not \"") + kind + QStringLiteral("\"."));
    const int32_t id = ParseNumber(parser.positionalArguments().at(1), QStringLiteral("ID"));
    const QString tableName = parser.isSet(QStringLiteral("table-name"))
                                  ? parser.value(QStringLiteral("table-name"))
                                  : (kind == QStringLiteral("agency") ? kAgencyTable : kClientTable);
    const DataLocation location = ResolveDataLocation(LocationOverridesOf(parser));

    ado::Connection connection;
    connection.Open(location.MainConnectionString());
    const int32_t request = AddRow(connection, QStringLiteral("Disqualifications_Queue"),
                                   {{QStringLiteral("Table_Name"), ado::Variant(tableName)},
                                    {QStringLiteral("Table_ID"), ado::Variant(id)},
                                    {QStringLiteral("Creation_Date"), ado::Variant(platform::Now())}});
    QTextStream(stdout) << "Queued request " << request << ": " << tableName << " " << id << Qt::endl;
    return 0;
}

}  // namespace

const Command kEnqueueCommand{
    QStringLiteral("enqueue"),
    QStringLiteral("agency|client ID [--table-name TEXT] "
                   "[--data-path DIR | --server SOURCE [--catalog NAME]]"),
    QStringLiteral("Queue a rebuild of one agency's or one client's disqualifications."), RunEnqueue};

}  // namespace tools
