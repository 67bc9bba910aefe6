#include "ado/postgresql/literal_parameters.h"

#include "ado/sql/token_match.h"

#include <QSet>
#include <QString>

#include <limits>

namespace ado::postgresql {

namespace {

using sql::IsBlank;
using sql::IsSymbol;
using sql::Token;
using sql::TokenKind;

constexpr Oid kInt4 = 23;
constexpr Oid kInt8 = 20;
constexpr Oid kNumeric = 1700;

QString UpperWord(const Token& token) {
    return token.kind == TokenKind::Word ? token.text.toUpper() : QString();
}

// The server types a literal as integer when it fits, then bigint, else numeric (also with a point or an
// exponent).
Oid LiteralType(const QString& number) {
    bool ok = false;
    const qlonglong value = number.toLongLong(&ok);
    if (!ok)
        return kNumeric;
    return value <= std::numeric_limits<int32_t>::max() ? kInt4 : kInt8;
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
};

}  // namespace

QByteArray ParameterizedStatement::Key() const {
    QByteArray key = text;
    key.append('\0');
    for (Oid type : types)
        key.append(QByteArray::number(type)).append(',');
    return key;
}

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

ParameterizedStatement ParameterizeLiterals(const std::vector<Token>& tokens) {
    ParameterizedStatement statement;
    if (!IsDataStatement(tokens)) {
        for (const Token& token : tokens)
            statement.text += token.text.toUtf8();
        return statement;
    }
    QString text;
    std::vector<Level> levels(1);
    const Token* previous = nullptr;        // the last token that is not blank
    const Token* beforePrevious = nullptr;  // the one before it
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (IsBlank(token)) {
            text += token.text;
            continue;
        }
        if (IsSymbol(token, QLatin1StringView("("))) {
            const bool afterTypeName =
                previous && previous->kind == TokenKind::Word &&
                (IsSizedTypeName(UpperWord(*previous)) ||
                 (beforePrevious && (IsSymbol(*beforePrevious, QLatin1StringView("::")) ||
                                     UpperWord(*beforePrevious) == QLatin1StringView("AS"))));
            levels.push_back(Level{false, afterTypeName || levels.back().typeModifier});
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
        } else if (token.kind == TokenKind::Number) {
            const bool keep = levels.back().positional || levels.back().typeModifier ||
                              (i > 0 && IsSymbol(tokens[i - 1], QLatin1StringView("$")));
            if (!keep) {
                statement.values.push_back(token.text.toUtf8());
                statement.types.push_back(LiteralType(token.text));
                text += u'$' + QString::number(statement.values.size());
                beforePrevious = previous;
                previous = &token;
                continue;
            }
        }
        text += token.text;
        beforePrevious = previous;
        previous = &token;
    }
    statement.text = text.toUtf8();
    return statement;
}

}  // namespace ado::postgresql
