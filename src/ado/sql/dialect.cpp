#include "ado/sql/dialect.h"

#include "ado/sql/token_match.h"

#include <algorithm>
#include <optional>

namespace ado::sql {

namespace {

bool IsWordStart(QChar c) {
    return c.isLetter() || c == u'_' || c == u'@' || c == u'#';
}
bool IsWordPart(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$';
}

// The end of a quoted token that starts at begin with an opening character and ends with close; a doubled
// close stands for itself. An unterminated token runs to the end.
qsizetype QuotedEnd(const QString& sql, qsizetype begin, QChar close) {
    qsizetype i = begin + 1;
    while (i < sql.size()) {
        if (sql[i] == close) {
            if (i + 1 < sql.size() && sql[i + 1] == close) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return sql.size();
}

qsizetype DigitsEnd(const QString& sql, qsizetype i) {
    while (i < sql.size() && sql[i].isDigit())
        ++i;
    return i;
}

qsizetype NumberEnd(const QString& sql, qsizetype begin) {
    qsizetype i = DigitsEnd(sql, begin);
    if (i < sql.size() && sql[i] == u'.')
        i = DigitsEnd(sql, i + 1);
    if (i < sql.size() && (sql[i] == u'e' || sql[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < sql.size() && (sql[j] == u'+' || sql[j] == u'-'))
            ++j;
        if (j < sql.size() && sql[j].isDigit())
            i = DigitsEnd(sql, j);
    }
    return i;
}

// Reads the token that starts at begin and returns its kind and end.
std::pair<TokenKind, qsizetype> ReadToken(const QString& sql, qsizetype begin) {
    const QChar c = sql[begin];
    const QChar next = begin + 1 < sql.size() ? sql[begin + 1] : QChar();
    if (c.isSpace()) {
        qsizetype i = begin;
        while (i < sql.size() && sql[i].isSpace())
            ++i;
        return {TokenKind::Space, i};
    }
    if (c == u'-' && next == u'-') {
        const qsizetype eol = sql.indexOf(u'\n', begin);
        return {TokenKind::Comment, eol < 0 ? sql.size() : eol};
    }
    if (c == u'/' && next == u'*') {
        const qsizetype close = sql.indexOf(QStringLiteral("*/"), begin + 2);
        return {TokenKind::Comment, close < 0 ? sql.size() : close + 2};
    }
    if (c == u'[')
        return {TokenKind::BracketName, QuotedEnd(sql, begin, u']')};
    if (c == u'"')
        return {TokenKind::QuotedName, QuotedEnd(sql, begin, u'"')};
    if (c == u'\'')
        return {TokenKind::String, QuotedEnd(sql, begin, u'\'')};
    if (c.isDigit() || (c == u'.' && next.isDigit()))
        return {TokenKind::Number, NumberEnd(sql, begin)};
    if (IsWordStart(c)) {
        qsizetype i = begin + 1;
        while (i < sql.size() && IsWordPart(sql[i]))
            ++i;
        return {TokenKind::Word, i};
    }
    static const QString kPairs[] = {QStringLiteral("<>"), QStringLiteral("<="), QStringLiteral(">="),
                                     QStringLiteral("!="), QStringLiteral("::"), QStringLiteral("||")};
    for (const QString& pair : kPairs) {
        if (QStringView(sql).mid(begin, 2) == pair)
            return {TokenKind::Symbol, begin + 2};
    }
    return {TokenKind::Symbol, begin + 1};
}

// The index of the first token at or after i that is neither blank nor a comment; tokens.size() when none.
size_t NextSignificant(const std::vector<Token>& tokens, size_t i) {
    while (i < tokens.size() && IsBlank(tokens[i]))
        ++i;
    return i;
}

bool IsName(const Token& token) {
    return token.kind == TokenKind::Word || token.kind == TokenKind::BracketName ||
           token.kind == TokenKind::QuotedName;
}

// [Court Charges] -> "court charges": the server folds unquoted names to lower case, and the product's
// tables on the server are named in lower case.
Token QuoteBracketName(const Token& token) {
    QString inner = token.text.mid(1);
    if (inner.endsWith(u']'))
        inner.chop(1);
    inner.replace(QStringLiteral("]]"), QStringLiteral("]"));
    inner = inner.toLower();
    inner.replace(u'"', QStringLiteral("\"\""));
    return Token{TokenKind::QuotedName, u'"' + inner + u'"'};
}

// Moves every "TOP n" that follows SELECT (or SELECT DISTINCT / ALL) to a "LIMIT n" at the end of that
// SELECT's level: before the parenthesis that closes a sub-select, before a ";", or at the end of the text.
std::vector<Token> MoveTopToLimit(const std::vector<Token>& tokens) {
    std::vector<Token> out;
    std::vector<std::optional<QString>> levels(1);  // the pending limit of each parenthesis level

    const auto flush = [&out](std::optional<QString>& limit) {
        if (!limit)
            return;
        auto at = out.end();
        while (at != out.begin() && IsBlank(*(at - 1)))
            --at;
        const Token words[] = {{TokenKind::Space, QStringLiteral(" ")},
                               {TokenKind::Word, QStringLiteral("LIMIT")},
                               {TokenKind::Space, QStringLiteral(" ")},
                               {TokenKind::Number, *limit}};
        out.insert(at, std::begin(words), std::end(words));
        limit.reset();
    };

    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (IsSymbol(token, QLatin1StringView("("))) {
            out.push_back(token);
            levels.emplace_back();
            continue;
        }
        if (IsSymbol(token, QLatin1StringView(")")) && levels.size() > 1) {
            flush(levels.back());
            levels.pop_back();
            out.push_back(token);
            continue;
        }
        if (IsSymbol(token, QLatin1StringView(";"))) {
            for (auto& level : levels)
                flush(level);
            levels.assign(1, std::nullopt);
            out.push_back(token);
            continue;
        }
        if (!IsWord(token, QLatin1StringView("SELECT"))) {
            out.push_back(token);
            continue;
        }
        // SELECT [DISTINCT | ALL] TOP n | TOP (n)
        size_t top = NextSignificant(tokens, i + 1);
        if (top < tokens.size() && (IsWord(tokens[top], QLatin1StringView("DISTINCT")) ||
                                    IsWord(tokens[top], QLatin1StringView("ALL")))) {
            top = NextSignificant(tokens, top + 1);
        }
        if (top >= tokens.size() || !IsWord(tokens[top], QLatin1StringView("TOP"))) {
            out.push_back(token);
            continue;
        }
        size_t count = NextSignificant(tokens, top + 1);
        size_t last = count;
        const bool parenthesised = count < tokens.size() && IsSymbol(tokens[count], QLatin1StringView("("));
        if (parenthesised) {
            count = NextSignificant(tokens, count + 1);
            last = NextSignificant(tokens, count + 1);
            if (last >= tokens.size() || !IsSymbol(tokens[last], QLatin1StringView(")"))) {
                out.push_back(token);
                continue;
            }
        }
        if (count >= tokens.size() || tokens[count].kind != TokenKind::Number) {
            out.push_back(token);
            continue;
        }
        // Keep SELECT and what lies between it and TOP; drop TOP, its count and the blanks after them.
        for (size_t k = i; k < top; ++k)
            out.push_back(tokens[k]);
        levels.back() = tokens[count].text;
        i = NextSignificant(tokens, last + 1) - 1;
    }
    for (auto& level : levels)
        flush(level);
    return out;
}

// "DELETE T FROM sources Where ..." -> "DELETE FROM T USING sources WHERE ..."; "DELETE T Where ..." ->
// "DELETE FROM T WHERE ...".
std::vector<Token> RewriteDeleteFrom(const std::vector<Token>& tokens) {
    std::vector<Token> out;
    for (size_t i = 0; i < tokens.size(); ++i) {
        out.push_back(tokens[i]);
        if (!IsWord(tokens[i], QLatin1StringView("DELETE")))
            continue;
        const size_t target = NextSignificant(tokens, i + 1);
        if (target >= tokens.size() || !IsName(tokens[target]) ||
            IsWord(tokens[target], QLatin1StringView("FROM"))) {
            continue;
        }
        // The target may be qualified: name.name
        size_t targetEnd = target + 1;
        while (targetEnd + 1 < tokens.size() && IsSymbol(tokens[targetEnd], QLatin1StringView(".")) &&
               IsName(tokens[targetEnd + 1])) {
            targetEnd += 2;
        }
        const size_t from = NextSignificant(tokens, targetEnd);
        const bool hasSources = from < tokens.size() && IsWord(tokens[from], QLatin1StringView("FROM"));

        for (size_t k = i + 1; k < target; ++k)
            out.push_back(tokens[k]);
        out.push_back(Token{TokenKind::Word, QStringLiteral("FROM")});
        out.push_back(Token{TokenKind::Space, QStringLiteral(" ")});
        for (size_t k = target; k < targetEnd; ++k)
            out.push_back(tokens[k]);
        if (!hasSources) {
            i = targetEnd - 1;
            continue;
        }
        for (size_t k = targetEnd; k < from; ++k)
            out.push_back(tokens[k]);
        out.push_back(Token{TokenKind::Word, QStringLiteral("USING")});
        // The sources run to the WHERE of the DELETE's own level.
        int depth = 0;
        size_t k = from + 1;
        for (; k < tokens.size(); ++k) {
            const Token& token = tokens[k];
            if (IsSymbol(token, QLatin1StringView("(")))
                ++depth;
            if (IsSymbol(token, QLatin1StringView(")")))
                --depth;
            if (depth < 0 || (depth == 0 && IsSymbol(token, QLatin1StringView(";"))))
                break;
            if (depth == 0 && IsWord(token, QLatin1StringView("WHERE"))) {
                out.push_back(Token{TokenKind::Word, QStringLiteral("WHERE")});
                continue;
            }
            out.push_back(token);
        }
        i = k - 1;
    }
    return out;
}

// Drops the statements of a batch that the server has no use for: SET IDENTITY_INSERT (the server's
// identity columns take a given value without being told).
std::vector<Token> DropIdentityInsert(const std::vector<Token>& tokens) {
    std::vector<Token> out;
    bool dropped = false;
    size_t begin = 0;
    while (begin < tokens.size()) {
        size_t end = begin;
        while (end < tokens.size() && !IsSymbol(tokens[end], QLatin1StringView(";")))
            ++end;
        if (end < tokens.size())
            ++end;  // the statement keeps its ";"
        const size_t first = NextSignificant(tokens, begin);
        const size_t second = first < end ? NextSignificant(tokens, first + 1) : end;
        const bool identityInsert = second < end && IsWord(tokens[first], QLatin1StringView("SET")) &&
                                    IsWord(tokens[second], QLatin1StringView("IDENTITY_INSERT"));
        if (identityInsert) {
            dropped = true;
        } else {
            out.insert(out.end(), tokens.begin() + begin, tokens.begin() + end);
        }
        begin = end;
    }
    if (dropped) {
        while (!out.empty() && out.front().kind == TokenKind::Space)
            out.erase(out.begin());
        while (!out.empty() && out.back().kind == TokenKind::Space)
            out.pop_back();
    }
    return out;
}

}  // namespace

QString Join(const std::vector<Token>& tokens) {
    QString text;
    for (const Token& token : tokens)
        text += token.text;
    return text;
}

std::vector<Token> Tokenize(const QString& sql) {
    std::vector<Token> tokens;
    qsizetype begin = 0;
    while (begin < sql.size()) {
        const auto [kind, end] = ReadToken(sql, begin);
        tokens.push_back(Token{kind, sql.mid(begin, end - begin)});
        begin = end;
    }
    return tokens;
}

NumberShape ShapeOfNumbers(const QString& sql) {
    NumberShape shape;
    shape.signature.reserve(sql.size());
    qsizetype copied = 0;  // sql up to here is in the signature
    qsizetype begin = 0;
    while (begin < sql.size()) {
        const auto [kind, end] = ReadToken(sql, begin);
        if (kind == TokenKind::Number) {
            shape.signature += QStringView(sql).mid(copied, begin - copied);
            shape.signature += kNumberMark;
            shape.numbers.push_back(QStringView(sql).mid(begin, end - begin));
            copied = end;
        }
        begin = end;
    }
    shape.signature += QStringView(sql).mid(copied);
    return shape;
}

QString ToSqlite(const QString& sql) {
    return Join(MoveTopToLimit(Tokenize(sql)));
}

std::vector<Token> ToSqliteTokens(const std::vector<Token>& tokens) {
    return MoveTopToLimit(tokens);
}

QString ToPostgres(const QString& sql) {
    std::vector<Token> tokens = Tokenize(sql);
    for (Token& token : tokens) {
        if (token.kind == TokenKind::BracketName)
            token = QuoteBracketName(token);
    }
    return Join(MoveTopToLimit(RewriteDeleteFrom(DropIdentityInsert(tokens))));
}

std::vector<const Token*> TopLevelTokens(const std::vector<Token>& tokens) {
    std::vector<const Token*> top;
    int depth = 0;
    for (const Token& token : tokens) {
        if (IsBlank(token))
            continue;
        if (IsSymbol(token, QLatin1StringView(")")))
            --depth;
        if (depth == 0)
            top.push_back(&token);
        if (IsSymbol(token, QLatin1StringView("(")))
            ++depth;
    }
    return top;
}

std::vector<QString> SplitBatch(const QString& sql) {
    std::vector<QString> statements;
    std::vector<Token> part;
    const auto finish = [&statements, &part] {
        const bool empty = std::all_of(part.begin(), part.end(), IsBlank);
        if (!empty)
            statements.push_back(Join(part).trimmed());
        part.clear();
    };
    for (const Token& token : Tokenize(sql)) {
        if (IsSymbol(token, QLatin1StringView(";"))) {
            finish();
        } else {
            part.push_back(token);
        }
    }
    finish();
    return statements;
}

}  // namespace ado::sql
