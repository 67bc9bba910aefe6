#pragma once
// The program writes its statements in the Jet dialect (with the server dialect's 1/0 for booleans when the
// data lives on the server). Each provider turns them into its engine's dialect here, working on tokens.

#include <QString>
#include <QStringView>

#include <vector>

namespace ado::sql {

enum class TokenKind { Word, BracketName, QuotedName, String, Number, Symbol, Space, Comment };

struct Token {
    TokenKind kind;
    QString text;  // exactly as written
};

// Splits sql into tokens; joining their texts gives sql back unchanged. Never fails: an unterminated string
// or bracket runs to the end of the text.
std::vector<Token> Tokenize(const QString& sql);

// What stands for a number literal in a NumberShape's signature.
inline constexpr QChar kNumberMark = QChar(0x1);

// A statement with its number literals taken out: statements that differ only in their numbers have the same
// signature.
struct NumberShape {
    QString signature;                 // the statement with kNumberMark in place of each number literal
    std::vector<QStringView> numbers;  // the literals in order, pointing into the statement
};
// The shape of sql, its numbers found as Tokenize finds them, without making tokens. The views point into
// sql.
NumberShape ShapeOfNumbers(const QString& sql);

// The statement for SQLite: TOP n becomes LIMIT n (also in a sub-select); the rest stands as written.
QString ToSqlite(const QString& sql);
// ToSqlite on tokens already split.
std::vector<Token> ToSqliteTokens(const std::vector<Token>& tokens);
// The text of tokens.
QString Join(const std::vector<Token>& tokens);

// The statement for PostgreSQL: bracketed names become quoted lower-case names, TOP n becomes LIMIT n,
// "DELETE T FROM (...) AS t1 Where ..." becomes "DELETE FROM T USING (...) AS t1 WHERE ...", and
// SET IDENTITY_INSERT is dropped. A batch of several statements stays a batch.
QString ToPostgres(const QString& sql);

// Splits a batch at the semicolons between statements (not inside strings or names); empty parts are dropped.
std::vector<QString> SplitBatch(const QString& sql);

}  // namespace ado::sql
