// kestrane-admin add-workstation: registers a workstation of the product and prints its ID.
#include "ado/connection.h"
#include "ado/recordset.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/data_location.h"
#include "tools/new_row.h"

#include <QTextStream>

namespace tools {

namespace {

int RunAddWorkstation(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The workstation's name."));
    parser.addOption(
        {QStringLiteral("inactive"), QStringLiteral("Register it as not allowed to use the product.")});
    AddLocationOptions(parser, false);
    ParseArguments(parser, arguments, 1);
    const DataLocation location = ResolveDataLocation(LocationOverridesOf(parser));

    ado::Connection connection;
    connection.Open(location.UsersConnectionString());
    const int32_t id =
        AddRow(connection, QStringLiteral("[Application Workstation List]"),
               {{QStringLiteral("Workstation Name"), ado::Variant(parser.positionalArguments().at(0))},
                {QStringLiteral("Active"), ado::Variant(!parser.isSet(QStringLiteral("inactive")))}});
    QTextStream(stdout) << id << Qt::endl;
    return 0;
}

}  // namespace

const Command kAddWorkstationCommand{
    QStringLiteral("add-workstation"), QStringLiteral("NAME [--inactive] [--data-path DIR]"),
    QStringLiteral("Register a workstation in the users file and print its ID."), RunAddWorkstation};

}  // namespace tools
