// kestrane-admin enqueue: asks for the rebuild of one agency or one client, as the product's other programs
// do.
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
    parser.addOptions(
        {{QStringLiteral("table-name"),
          QStringLiteral("Write this Table_Name instead of the usual one for KIND."), QStringLiteral("TEXT")},
         {QStringLiteral("force"),
          QStringLiteral("Queue it even when the agency or client does not exist (yet).")}});
    AddLocationOptions(parser, true);
    AddLockWaitOption(parser);
    ParseArguments(parser, arguments, 2);
    const QString kind = parser.positionalArguments().at(0);
    if (kind != QStringLiteral("agency") && kind != QStringLiteral("client"))
        throw UsageError(QStringLiteral("KIND is agency or client, not \"") + kind + QStringLiteral("\"."));
    const int32_t id = ParseCount(parser.positionalArguments().at(1), QStringLiteral("ID"));
    const QString tableName = parser.isSet(QStringLiteral("table-name"))
                                  ? parser.value(QStringLiteral("table-name"))
                                  : (kind == QStringLiteral("agency") ? kAgencyTable : kClientTable);
    // The processor's own rule: "Agencies", exactly, is an agency; anything else is a client.
    const bool agency = tableName == kAgencyTable;
    Database main = ResolveDataLocation(LocationOverridesOf(parser)).MainDatabase();

    main.Open();
    int32_t request = 0;
    main.Write(QStringLiteral("add the request to"), LockWaitOf(parser), [&] {
        if (!parser.isSet(QStringLiteral("force"))) {
            ado::Recordset target;
            target.Open(QStringLiteral("SELECT ID FROM ") + (agency ? kAgencyTable : kClientTable) +
                            QStringLiteral(" WHERE ID = ") + QString::number(id),
                        main.Connection());
            if (target.Eof()) {
                throw CommandFailed(
                    kExitRefused,
                    QStringLiteral("There is no %1 %2 in %3; nothing was queued. Give --force to "
                                   "queue it for data that arrives later.")
                        .arg(agency ? QStringLiteral("agency") : QStringLiteral("client"))
                        .arg(id)
                        .arg(main.Place()));
            }
        }
        request = AddRow(main.Connection(), QStringLiteral("Disqualifications_Queue"),
                         {{QStringLiteral("Table_Name"), ado::Variant(tableName)},
                          {QStringLiteral("Table_ID"), ado::Variant(id)},
                          {QStringLiteral("Creation_Date"), ado::Variant(platform::Now())}});
    });
    main.Close();
    QTextStream(stdout) << "Queued request " << request << ": " << tableName << " " << id << Qt::endl;
    return kExitOk;
}

}  // namespace

const Command kEnqueueCommand{
    QStringLiteral("enqueue"),
    QStringLiteral("agency|client ID [--force] [--table-name TEXT] [--lock-wait SECONDS]\n"
                   "      [--data-path DIR | --server SOURCE [--catalog NAME]]"),
    QStringLiteral("Queue a rebuild of one agency's or one client's disqualifications."), RunEnqueue};

}  // namespace tools
