// kestrane-admin add-user: registers a user of the product and prints the new user's ID.
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
    parser.addOption(
        {QStringLiteral("allow-duplicate"), QStringLiteral("Add it even when the name exists.")});
    AddLocationOptions(parser, false);
    AddLockWaitOption(parser);
    ParseArguments(parser, arguments, 1);
    const QString name = RequireName(parser.positionalArguments().at(0), QStringLiteral("NAME"));
    Database users = ResolveDataLocation(LocationOverridesOf(parser)).UsersDatabase();

    users.Open();
    const int32_t id = AddNamedRow(
        users,
        {QStringLiteral("[Application User List]"), QStringLiteral("User Name"), QStringLiteral("user")},
        name, {}, parser.isSet(QStringLiteral("allow-duplicate")), LockWaitOf(parser));
    QTextStream(stdout) << id << Qt::endl;
    return kExitOk;
}

}  // namespace

const Command kAddUserCommand{
    QStringLiteral("add-user"),
    QStringLiteral("NAME [--allow-duplicate] [--lock-wait SECONDS] [--data-path DIR]"),
    QStringLiteral("Add a user to the users file and print the user's ID."), RunAddUser};

}  // namespace tools
