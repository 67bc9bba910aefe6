// The product's tables, from the schema scripts built into kestrane-admin.
#include "tools/schema_script.h"

#include "ado/script.h"
#include "tools/command.h"

#include <QFile>

namespace tools {

void RunSchemaScript(ado::Connection& connection, const QString& script) {
    QFile file(script);
    // The scripts are built into the program: a missing one is a fault of the build.
    if (!file.open(QIODevice::ReadOnly))
        throw CommandFailed(kExitSoftware, QStringLiteral("Missing schema script ") + script);
    for (const QString& statement : ado::ScriptStatements(QString::fromUtf8(file.readAll())))
        connection.Execute(statement);
}

}  // namespace tools
