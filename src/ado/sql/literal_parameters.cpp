#include "ado/sql/literal_parameters.h"

#include "ado/sql/token_match.h"

#include <QSet>

namespace ado::sql {

namespace {

QString UpperWord(const Token& token) {
    return token.kind == TokenKind::Word ? token.text.toUpper() : QString();
}

// Type names whose parenthesised sizes must stay literals: varchar(20), numeric(10, 2), ...
bool IsSizedTypeName(const QString& upperWord) {
    static const QSet<QString> kNames = {
        QStringLiteral("VARCHAR"),  QStringLiteral("CHAR"),     QStringLiteral("CHARACTER"),
        QStringLiteral("VARYING"),  QStringLiteral("NUMERIC"),  QStringLiteral("DECIMAL"),
        QStringLiteral("DEC"),      QStringLiteral("TIME"),     QStringLiteral("TIMESTAMP"),
        QStringLiteral("INTERVAL"), QStringLiteral("BIT"),      QStringLiteral("FLOAT"),
        QStringLiteral("NCHAR"),    QStringLiteral("NVARCHAR"), QStringLiteral("VARBIT")};
    return kNames.contains(upperWord);
}

// Words that end an ORDER BY or GROUP BY list.
bool EndsPositionalList(const QString& upperWord) {
    static const QSet<QString> kWords = {
        QStringLiteral("LIMIT"),  QStringLiteral("OFFSET"),    QStringLiteral("HAVING"),
        QStringLiteral("FETCH"),  QStringLiteral("FOR"),       QStringLiteral("UNION"),
        QStringLiteral("EXCEPT"), QStringLiteral("INTERSECT"), QStringLiteral("WINDOW")};
    return kWords.contains(upperWord);
}

// What holds inside one level of parentheses.
struct Level {
    bool positional = false;    // in an ORDER BY / GROUP BY list: a number is a column position
    bool typeModifier = false;  // the sizes of a type: numbers must stay literals
    bool selectList = false;    // between SELECT and FROM: a number names its column
};

}  // namespace

bool IsDataStatement(const std::vector<Token>& tokens) {
    static const QSet<QString> kWords = {QStringLiteral("SELECT"), QStringLiteral("INSERT"),
                                         QStringLiteral("UPDATE"), QStringLiteral("DELETE"),
                                         QStringLiteral("WITH"),   QStringLiteral("VALUES")};
    for (const Token& token : tokens) {
        if (IsBlank(token) || IsSymbol(token, QLatin1StringView("(")))
            continue;
        return kWords.contains(UpperWord(token));
    }
    return false;
}

LiteralParameters ParameterizeLiterals(const std::vector<Token>& tokens, QChar sign) {
    LiteralParameters statement;
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
                (IsSizedTypeName(UpperWord(*previous)) ||
                 (beforePrevious && (IsSymbol(*beforePrevious, QLatin1StringView("::")) ||
                                     UpperWord(*beforePrevious) == QLatin1StringView("AS"))));
            levels.push_back(Level{false, afterTypeName || levels.back().typeModifier, false});
        } else if (IsSymbol(token, QLatin1StringView(")"))) {
            if (levels.size() > 1)
                levels.pop_back();
        } else if (token.kind == TokenKind::Word) {
            const QString word = UpperWord(token);
            if (word == QLatin1StringView("BY") && previous &&
                (UpperWord(*previous) == QLatin1StringView("ORDER") ||
                 UpperWord(*previous) == QLatin1StringView("GROUP"))) {
                levels.back().positional = true;
            } else if (EndsPositionalList(word)) {
                levels.back().positional = false;
            }
            if (word == QLatin1StringView("SELECT"))
                levels.back().selectList = true;
            else if (word == QLatin1StringView("FROM"))
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
