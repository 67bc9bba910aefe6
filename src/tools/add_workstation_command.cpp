// kestrane-admin add-workstation: registers a workstation of the product and prints its ID.
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
    parser.addOptions(
        {{QStringLiteral("inactive"), QStringLiteral("Register it as not allowed to use the product.")},
         {QStringLiteral("allow-duplicate"), QStringLiteral("Add it even when the name exists.")}});
    AddLocationOptions(parser, false);
    AddLockWaitOption(parser);
    ParseArguments(parser, arguments, 1);
    const QString name = RequireName(parser.positionalArguments().at(0), QStringLiteral("NAME"));
    Database users = ResolveDataLocation(LocationOverridesOf(parser)).UsersDatabase();

    users.Open();
    const int32_t id = AddNamedRow(
        users,
        {QStringLiteral("[Application Workstation List]"), QStringLiteral("Workstation Name"),
         QStringLiteral("workstation")},
        name, {{QStringLiteral("Active"), ado::Variant(!parser.isSet(QStringLiteral("inactive")))}},
        parser.isSet(QStringLiteral("allow-duplicate")), LockWaitOf(parser));
    QTextStream(stdout) << id << Qt::endl;
    return kExitOk;
}

}  // namespace

const Command kAddWorkstationCommand{
    QStringLiteral("add-workstation"),
    QStringLiteral("NAME [--inactive] [--allow-duplicate] [--lock-wait SECONDS] [--data-path DIR]"),
    QStringLiteral("Register a workstation in the users file and print its ID."), RunAddWorkstation};

}  // namespace tools
