// kestrane-admin add-user: registers a user of the product and prints the new user's ID.
#include "ado/connection.h"
#include "ado/recordset.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/data_location.h"
#include "tools/new_row.h"

#include <QTextStream>

namespace tools {

namespace {

int RunAddUser(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The user's name."));
    AddLocationOptions(parser, false);
    ParseArguments(parser, arguments, 1);
    const DataLocation location = ResolveDataLocation(LocationOverridesOf(parser));

    ado::Connection connection;
    connection.Open(location.UsersConnectionString());
    const int32_t id =
        AddRow(connection, QStringLiteral("[Application User List]"),
               {{QStringLiteral("User Name"), ado::Variant(parser.positionalArguments().at(0))}});
    QTextStream(stdout) << id << Qt::endl;
    return 0;
}

}  // namespace

const Command kAddUserCommand{QStringLiteral("add-user"), QStringLiteral("NAME [--data-path DIR]"),
                              QStringLiteral("Add a user to the users file and print the user's ID."),
                              RunAddUser};

}  // namespace tools
