#include "ado/postgresql/statement.h"

#include "ado/postgresql/literal_parameters.h"
#include "ado/postgresql/values.h"
#include "ado/sql/dialect.h"
#include "ado/sql/token_match.h"

#include <optional>

namespace ado::postgresql {

namespace {

using sql::IsBlank;
using sql::IsSymbol;
using sql::IsWord;
using sql::Token;
using sql::TokenKind;

bool ReturnsRows(const std::vector<Token>& tokens) {
    for (const Token& token : tokens) {
        if (IsBlank(token) || IsSymbol(token, QLatin1StringView("(")))
            continue;
        return IsWord(token, QLatin1StringView("SELECT")) || IsWord(token, QLatin1StringView("WITH")) ||
               IsWord(token, QLatin1StringView("VALUES")) || IsWord(token, QLatin1StringView("TABLE"));
    }
    return false;
}

// The statement's own LIMIT, when it is a number.
std::optional<qlonglong> TopLevelLimit(const std::vector<const Token*>& top) {
    for (size_t i = 0; i + 1 < top.size(); ++i) {
        if (IsWord(*top[i], QLatin1StringView("LIMIT")) && top[i + 1]->kind == TokenKind::Number) {
            bool ok = false;
            const qlonglong limit = top[i + 1]->text.toLongLong(&ok);
            if (ok)
                return limit;
        }
    }
    return std::nullopt;
}

// FOR UPDATE / FOR SHARE / FOR NO KEY UPDATE / FOR KEY SHARE: a cursor that outlives its transaction
// cannot lock rows.
bool LocksRows(const std::vector<const Token*>& top) {
    for (size_t i = 0; i + 1 < top.size(); ++i) {
        if (!IsWord(*top[i], QLatin1StringView("FOR")))
            continue;
        const Token& next = *top[i + 1];
        if (IsWord(next, QLatin1StringView("UPDATE")) || IsWord(next, QLatin1StringView("SHARE")) ||
            IsWord(next, QLatin1StringView("NO")) || IsWord(next, QLatin1StringView("KEY"))) {
            return true;
        }
    }
    return false;
}

std::optional<PreparedCall> DataStatementCall(const std::vector<Token>& tokens, const QString& written) {
    if (!IsDataStatement(tokens))
        return std::nullopt;
    ParameterizedStatement statement = ParameterizeLiterals(tokens);
    return PreparedCall{statement.Key(), std::move(statement.text), std::move(statement.types),
                        ParameterValues(statement.values.begin(), statement.values.end()), written};
}

// Runs a statement whole: a data statement prepared, anything else through the simple protocol.
ResultPtr RunWhole(Link& link, const std::vector<Token>& tokens, const QString& sent,
                   const QString& written) {
    if (const std::optional<PreparedCall> call = DataStatementCall(tokens, written))
        return link.RunPrepared(call->key, call->text, call->types, call->values, written);
    std::vector<ResultPtr> results = link.RunSimple(sent.toUtf8(), written);
    if (results.empty())
        return ResultPtr(PQmakeEmptyPGresult(nullptr, PGRES_EMPTY_QUERY));
    return std::move(results.back());
}

class ResultCursor final : public provider::Cursor {
public:
    explicit ResultCursor(ResultPtr result)
        : result_(std::move(result)), columns_(ColumnsOf(result_.get())) {}

    const std::vector<provider::Column>& Columns() const override { return columns_; }

    bool Next(std::vector<Variant>& row) override {
        if (next_ >= PQntuples(result_.get()))
            return false;
        ReadRow(result_.get(), next_++, row);
        return true;
    }

private:
    ResultPtr result_;
    std::vector<provider::Column> columns_;
    int next_ = 0;
};

// Reads a server cursor a chunk at a time.
class StreamCursor final : public provider::Cursor {
public:
    StreamCursor(std::shared_ptr<Link> link, QByteArray name, ResultPtr firstChunk, QString written)
        : link_(std::move(link)),
          name_(std::move(name)),
          written_(std::move(written)),
          columns_(ColumnsOf(firstChunk.get())) {
        TakeChunk(std::move(firstChunk));
    }

    ~StreamCursor() override { link_->CursorFinished(name_); }

    const std::vector<provider::Column>& Columns() const override { return columns_; }

    bool Next(std::vector<Variant>& row) override {
        while (next_ >= PQntuples(chunk_.get())) {
            if (done_)
                return false;
            std::vector<ResultPtr> results = link_->RunSimple(
                "FETCH FORWARD " + QByteArray::number(kChunkRows) + " FROM " + name_, written_);
            TakeChunk(std::move(results.back()));
        }
        ReadRow(chunk_.get(), next_++, row);
        return true;
    }

private:
    void TakeChunk(ResultPtr chunk) {
        chunk_ = std::move(chunk);
        next_ = 0;
        done_ = PQntuples(chunk_.get()) < kChunkRows;
        if (done_)
            link_->CursorFinished(name_);
    }

    std::shared_ptr<Link> link_;
    QByteArray name_;
    QString written_;
    std::vector<provider::Column> columns_;
    ResultPtr chunk_;
    int next_ = 0;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<provider::Cursor> CursorOver(ResultPtr result) {
    return std::make_unique<ResultCursor>(std::move(result));
}

std::unique_ptr<provider::Cursor> RunQuery(const std::shared_ptr<Link>& link, const QString& sent,
                                           const QString& written) {
    const std::vector<Token> tokens = sql::Tokenize(sent);
    const std::vector<const Token*> top = sql::TopLevelTokens(tokens);
    const std::optional<qlonglong> limit = TopLevelLimit(top);
    if (!ReturnsRows(tokens) || LocksRows(top) || (limit && *limit <= kChunkRows)) {
        return CursorOver(RunWhole(*link, tokens, sent, written));
    }
    const QByteArray name = link->OpenCursorName();
    const QByteArray close = link->CloseStatement();
    // The line break ends a trailing "--" comment of the statement.
    const QByteArray batch = close + "DECLARE " + name + " NO SCROLL CURSOR WITH HOLD FOR " + sent.toUtf8() +
                             "\n; FETCH FORWARD " + QByteArray::number(kChunkRows) + " FROM " + name;
    std::vector<ResultPtr> results;
    try {
        results = link->RunSimple(batch, written);
    } catch (const Error&) {
        link->CursorFailed(name);
        throw;
    }
    if (!close.isEmpty())
        link->ClosedAll();
    return std::make_unique<StreamCursor>(link, name, std::move(results.back()), written);
}

std::optional<PreparedCall> PreparedCallFor(const QString& sent, const QString& written) {
    return DataStatementCall(sql::Tokenize(sent), written);
}

int64_t RunStatement(Link& link, const QString& sent, const QString& written) {
    const ResultPtr result = RunWhole(link, sql::Tokenize(sent), sent, written);
    return QByteArray(PQcmdTuples(result.get())).toLongLong();
}

ResultPtr RunWithValues(Link& link, const QString& sql, const ParameterValues& values) {
    const QByteArray text = sql.toUtf8();
    return link.RunPrepared(text, text, std::vector<Oid>(values.size(), 0), values, sql);
}

}  // namespace ado::postgresql
