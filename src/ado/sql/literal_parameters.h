#pragma once
// The program writes its values into the statement text ("... WHERE Agency_ID = 12"). To let one prepared
// statement serve every value, the number literals of a query or data statement become numbered parameters
// ("... WHERE Agency_ID = $1" with $1 the literal 12). Text literals stay in the text.

#include "ado/sql/dialect.h"

#include <QString>

#include <vector>

namespace ado::sql {

struct LiteralParameters {
    QString text;                   // the statement with a parameter sign and its number for each literal
    std::vector<QString> literals;  // the literal of each parameter, as written
};

// The statement with its number literals as parameters written sign + number ("$1", "?1"). Statements that
// cannot take parameters (definitions, settings) come back unchanged, without parameters; so do literals
// that stand for positions (ORDER BY 1), type sizes (numeric(10, 2)), a parameter's number, or a column of
// the select list (whose name the literal gives).
LiteralParameters ParameterizeLiterals(const std::vector<Token>& tokens, QChar sign);

// True for statements that a prepared statement can run: SELECT, INSERT, UPDATE, DELETE, WITH, VALUES.
bool IsDataStatement(const std::vector<Token>& tokens);

}  // namespace ado::sql
