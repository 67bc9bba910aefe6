#include "ado/script.h"

#include "ado/sql/dialect.h"

namespace ado {

std::vector<QString> ScriptStatements(const QString& script) {
    QString withoutComments;
    for (const sql::Token& token : sql::Tokenize(script)) {
        if (token.kind != sql::TokenKind::Comment)
            withoutComments += token.text;
    }
    std::vector<QString> statements;
    for (const QString& statement : sql::SplitBatch(withoutComments)) {
        if (!statement.trimmed().isEmpty())
            statements.push_back(statement);
    }
    return statements;
}

}  // namespace ado
