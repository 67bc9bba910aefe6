#pragma once
// Small tests on tokens, shared by the translation and by the providers that look into statements.

#include "ado/sql/dialect.h"

#include <QLatin1StringView>

#include <vector>

namespace ado::sql {

// Blanks and comments: tokens that do not change what a statement says.
inline bool IsBlank(const Token& token) {
    return token.kind == TokenKind::Space || token.kind == TokenKind::Comment;
}

// The word, without regard to case.
inline bool IsWord(const Token& token, QLatin1StringView word) {
    return token.kind == TokenKind::Word && token.text.compare(word, Qt::CaseInsensitive) == 0;
}

inline bool IsSymbol(const Token& token, QLatin1StringView symbol) {
    return token.kind == TokenKind::Symbol && token.text == symbol;
}

// The tokens outside every parenthesis, blanks left out; they point into tokens.
std::vector<const Token*> TopLevelTokens(const std::vector<Token>& tokens);

}  // namespace ado::sql
