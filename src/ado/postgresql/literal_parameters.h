#pragma once
// Number literals as typed parameters of the server's prepared statements, typed exactly as the server
// types the literal, so that the statement means the same.

#include "ado/sql/literal_parameters.h"

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

// The statement (in the server's dialect) with its number literals as typed parameters; see
// sql::ParameterizeLiterals for the literals that stay.
ParameterizedStatement ParameterizeLiterals(const std::vector<sql::Token>& tokens);

using sql::IsDataStatement;

}  // namespace ado::postgresql
