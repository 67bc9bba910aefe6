#include "ado/sql/literal_parameters.h"

#include "ado/sql/token_match.h"

#include <algorithm>
#include <array>

namespace ado::sql {

namespace {

// True when token is one of words, without regard to case. Words are compared in place: statements are
// parameterised once per query, a million times in a rebuild.
template <size_t N>
bool IsOneOf(const Token& token, const std::array<QLatin1StringView, N>& words) {
    return token.kind == TokenKind::Word &&
           std::any_of(words.begin(), words.end(),
                       [&](QLatin1StringView word) { return IsWord(token, word); });
}

// Type names whose parenthesised sizes must stay literals: varchar(20), numeric(10, 2), ...
bool IsSizedTypeName(const Token& token) {
    static constexpr std::array kNames = {
        QLatin1StringView("VARCHAR"),  QLatin1StringView("CHAR"),     QLatin1StringView("CHARACTER"),
        QLatin1StringView("VARYING"),  QLatin1StringView("NUMERIC"),  QLatin1StringView("DECIMAL"),
        QLatin1StringView("DEC"),      QLatin1StringView("TIME"),     QLatin1StringView("TIMESTAMP"),
        QLatin1StringView("INTERVAL"), QLatin1StringView("BIT"),      QLatin1StringView("FLOAT"),
        QLatin1StringView("NCHAR"),    QLatin1StringView("NVARCHAR"), QLatin1StringView("VARBIT")};
    return IsOneOf(token, kNames);
}

// Words that end an ORDER BY or GROUP BY list.
bool EndsPositionalList(const Token& token) {
    static constexpr std::array kWords = {
        QLatin1StringView("LIMIT"),  QLatin1StringView("OFFSET"),    QLatin1StringView("HAVING"),
        QLatin1StringView("FETCH"),  QLatin1StringView("FOR"),       QLatin1StringView("UNION"),
        QLatin1StringView("EXCEPT"), QLatin1StringView("INTERSECT"), QLatin1StringView("WINDOW")};
    return IsOneOf(token, kWords);
}

// What holds inside one level of parentheses.
struct Level {
    bool positional = false;    // in an ORDER BY / GROUP BY list: a number is a column position
    bool typeModifier = false;  // the sizes of a type: numbers must stay literals
    bool selectList = false;    // between SELECT and FROM: a number names its column
};

}  // namespace

bool IsDataStatement(const std::vector<Token>& tokens) {
    static constexpr std::array kWords = {QLatin1StringView("SELECT"), QLatin1StringView("INSERT"),
                                          QLatin1StringView("UPDATE"), QLatin1StringView("DELETE"),
                                          QLatin1StringView("WITH"),   QLatin1StringView("VALUES")};
    for (const Token& token : tokens) {
        if (IsBlank(token) || IsSymbol(token, QLatin1StringView("(")))
            continue;
        return IsOneOf(token, kWords);
    }
    return false;
}

LiteralParameters ParameterizeLiterals(const std::vector<Token>& tokens, QChar sign) {
    LiteralParameters statement;
    statement.text.reserve(256);
    if (!IsDataStatement(tokens)) {
        for (const Token& token : tokens)
            statement.text += token.text;
        return statement;
    }
    std::vector<Level> levels(1);
    const Token* previous = nullptr;        // the last token that is not blank
    const Token* beforePrevious = nullptr;  // the one before it
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (IsBlank(token)) {
            statement.text += token.text;
            continue;
        }
        if (IsSymbol(token, QLatin1StringView("("))) {
            const bool afterTypeName =
                previous && previous->kind == TokenKind::Word &&
                (IsSizedTypeName(*previous) ||
                 (beforePrevious && (IsSymbol(*beforePrevious, QLatin1StringView("::")) ||
                                     IsWord(*beforePrevious, QLatin1StringView("AS")))));
            levels.push_back(Level{false, afterTypeName || levels.back().typeModifier, false});
        } else if (IsSymbol(token, QLatin1StringView(")"))) {
            if (levels.size() > 1)
                levels.pop_back();
        } else if (token.kind == TokenKind::Word) {
            if (IsWord(token, QLatin1StringView("BY")) && previous &&
                (IsWord(*previous, QLatin1StringView("ORDER")) ||
                 IsWord(*previous, QLatin1StringView("GROUP")))) {
                levels.back().positional = true;
            } else if (EndsPositionalList(token)) {
                levels.back().positional = false;
            }
            if (IsWord(token, QLatin1StringView("SELECT")))
                levels.back().selectList = true;
            else if (IsWord(token, QLatin1StringView("FROM")))
                levels.back().selectList = false;
        } else if (token.kind == TokenKind::Number) {
            const bool afterSign = i > 0 && (IsSymbol(tokens[i - 1], QLatin1StringView("$")) ||
                                             IsSymbol(tokens[i - 1], QLatin1StringView("?")));
            const Level& level = levels.back();
            if (!level.positional && !level.typeModifier && !level.selectList && !afterSign) {
                statement.literals.push_back(token.text);
                statement.text += sign + QString::number(statement.literals.size());
                beforePrevious = previous;
                previous = &token;
                continue;
            }
        }
        statement.text += token.text;
        beforePrevious = previous;
        previous = &token;
    }
    return statement;
}

}  // namespace ado::sql
