// The product's tables, from the schema scripts built into kestrane-admin.
#include "tools/schema_script.h"

#include "ado/sql/dialect.h"
#include "tools/command.h"

#include <QFile>

namespace tools {

namespace {

// The script's text without its comments, which may hold semicolons of their own.
QString WithoutComments(const QString& text) {
    QString statements;
    for (const ado::sql::Token& token : ado::sql::Tokenize(text)) {
        if (token.kind != ado::sql::TokenKind::Comment)
            statements += token.text;
    }
    return statements;
}

}  // namespace

void RunSchemaScript(ado::Connection& connection, const QString& script) {
    QFile file(script);
    // The scripts are built into the program: a missing one is a fault of the build.
    if (!file.open(QIODevice::ReadOnly))
        throw CommandFailed(kExitSoftware, QStringLiteral("Missing schema script ") + script);
    for (const QString& statement :
         ado::sql::SplitBatch(WithoutComments(QString::fromUtf8(file.readAll())))) {
        if (!statement.trimmed().isEmpty())
            connection.Execute(statement);
    }
}

}  // namespace tools
