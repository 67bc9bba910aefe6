#include "ado/postgresql/literal_parameters.h"

#include <limits>

namespace ado::postgresql {

namespace {

constexpr Oid kInt4 = 23;
constexpr Oid kInt8 = 20;
constexpr Oid kNumeric = 1700;

// The server types a literal as integer when it fits, then bigint, else numeric (also with a point or an
// exponent).
Oid LiteralType(const QString& number) {
    bool ok = false;
    const qlonglong value = number.toLongLong(&ok);
    if (!ok)
        return kNumeric;
    return value <= std::numeric_limits<int32_t>::max() ? kInt4 : kInt8;
}

}  // namespace

QByteArray ParameterizedStatement::Key() const {
    QByteArray key = text;
    key.append('\0');
    for (Oid type : types)
        key.append(QByteArray::number(type)).append(',');
    return key;
}

ParameterizedStatement ParameterizeLiterals(const std::vector<sql::Token>& tokens) {
    const sql::LiteralParameters parameters = sql::ParameterizeLiterals(tokens, u'$');
    ParameterizedStatement statement;
    statement.text = parameters.text.toUtf8();
    for (const QString& literal : parameters.literals) {
        statement.values.push_back(literal.toUtf8());
        statement.types.push_back(LiteralType(literal));
    }
    return statement;
}

}  // namespace ado::postgresql
