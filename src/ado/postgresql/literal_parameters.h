#pragma once
// The program writes its values into the statement text ("... WHERE Agency_ID = 12"). To let one prepared
// statement serve every value, the number literals of a query or data statement become typed parameters
// ("... WHERE Agency_ID = $1" with $1 an integer 12), typed exactly as the server types the literal, so that
// the statement means the same. Text literals stay in the text.

#include "ado/sql/dialect.h"

#include <libpq-fe.h>

#include <QByteArray>

#include <vector>

namespace ado::postgresql {

struct ParameterizedStatement {
    QByteArray text;                 // the statement with $1, $2, ... in place of the literals
    std::vector<Oid> types;          // the type of each parameter
    std::vector<QByteArray> values;  // the literal of each parameter, as written
    // Identifies the prepared statement: the text and the parameter types.
    QByteArray Key() const;
};

// The statement (in the server's dialect) with its number literals as parameters. Statements that cannot
// take parameters (definitions, settings) come back unchanged, without parameters; so do literals that
// stand for positions (ORDER BY 1) or type sizes (numeric(10, 2)).
ParameterizedStatement ParameterizeLiterals(const std::vector<sql::Token>& tokens);

// True for statements that a prepared statement can run: SELECT, INSERT, UPDATE, DELETE, WITH, VALUES.
bool IsDataStatement(const std::vector<sql::Token>& tokens);

}  // namespace ado::postgresql
