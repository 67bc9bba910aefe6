// Placeholder until the token-based translation lands: statements pass through unchanged.
#include "ado/sql/dialect.h"

namespace ado::sql {

std::vector<Token> Tokenize(const QString& sql) { return {Token{TokenKind::Word, sql}}; }
QString ToSqlite(const QString& sql) { return sql; }
QString ToPostgres(const QString& sql) { return sql; }
std::vector<QString> SplitBatch(const QString& sql) { return {sql}; }

}  // namespace ado::sql
