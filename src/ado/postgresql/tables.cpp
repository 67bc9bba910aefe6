#include "ado/postgresql/tables.h"

#include "ado/postgresql/statement.h"
#include "ado/sql/dialect.h"
#include "ado/sql/token_match.h"

#include <QSet>

namespace ado::postgresql {

namespace {

using sql::IsBlank;
using sql::IsSymbol;
using sql::IsWord;
using sql::Token;
using sql::TokenKind;

// The columns of a table, each with whether it alone is the primary key; the engine's name for the table.
// The columns of a table, each with whether it alone is the primary key and the sequence that numbers it
// (identity or serial); the engine's name for the table.
constexpr char kColumnsQuery[] =
    "SELECT a.attrelid::regclass::text, a.attname, EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = "
    "a.attrelid AND i.indisprimary AND i.indnatts = 1 AND i.indkey[0] = a.attnum), "
    "pg_get_serial_sequence(a.attrelid::regclass::text, a.attname) FROM pg_attribute a WHERE "
    "a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum";

// Moves a sequence up to the highest value of its column, never down.
constexpr char kFollowIdentity[] =
    "SELECT setval($1::regclass, m.top) FROM (SELECT max(%1) AS top FROM %2) m "
    "WHERE m.top > COALESCE(pg_sequence_last_value($1::regclass), 0)";

bool IsName(const Token& token) {
    return token.kind == TokenKind::Word || token.kind == TokenKind::QuotedName;
}

// Words that may follow the one table of a FROM (and its alias).
bool EndsFromClause(const Token& token) {
    static const QSet<QString> kWords = {
        QStringLiteral("WHERE"),  QStringLiteral("ORDER"),     QStringLiteral("GROUP"),
        QStringLiteral("HAVING"), QStringLiteral("LIMIT"),     QStringLiteral("OFFSET"),
        QStringLiteral("FOR"),    QStringLiteral("FETCH"),     QStringLiteral("UNION"),
        QStringLiteral("EXCEPT"), QStringLiteral("INTERSECT"), QStringLiteral("WINDOW")};
    return IsSymbol(token, QLatin1StringView(";")) ||
           (token.kind == TokenKind::Word && kWords.contains(token.text.toUpper()));
}

Error NotUpdatable(const QString& written) {
    return Error(
        ADODB_E_NOTSUPPORTED, 0,
        QStringLiteral("Current Recordset does not support updating. This may be a limitation of the "
                       "provider, or of the selected locktype."),
        written);
}

// The table name of "SELECT ... FROM name [[AS] alias] [WHERE ...]", as written; empty when the statement
// is not of that form.
QString SingleTableName(const QString& sent) {
    const std::vector<Token> tokens = sql::Tokenize(sent);
    const std::vector<const Token*> top = sql::TopLevelTokens(tokens);
    if (top.empty() || !IsWord(*top.front(), QLatin1StringView("SELECT")))
        return {};
    size_t i = 1;
    while (i < top.size() && !IsWord(*top[i], QLatin1StringView("FROM")))
        ++i;
    if (++i >= top.size() || !IsName(*top[i]))
        return {};
    QString name = top[i++]->text;
    while (i + 1 < top.size() && IsSymbol(*top[i], QLatin1StringView(".")) && IsName(*top[i + 1])) {
        name += u'.' + top[i + 1]->text;
        i += 2;
    }
    if (i < top.size() && IsWord(*top[i], QLatin1StringView("AS")))
        i += 2;
    else if (i < top.size() && IsName(*top[i]) && !EndsFromClause(*top[i]))
        ++i;
    if (i < top.size() && !EndsFromClause(*top[i]))
        return {};  // a join, a list of tables, ...
    return name;
}

}  // namespace

QString QuoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

provider::TableKey TableCatalog::UpdatableTable(Link& link, const QString& sent, const QString& written) {
    const QString name = SingleTableName(sent);
    if (name.isEmpty())
        throw NotUpdatable(written);
    const Table& table = Load(link, name, written);
    if (table.key.keyColumn.isEmpty())
        throw NotUpdatable(written);
    return table.key;
}

const TableCatalog::Table& TableCatalog::Load(Link& link, const QString& name, const QString& written) {
    if (auto known = engineNameOf_.constFind(name); known != engineNameOf_.cend())
        return tables_[*known];

    const ResultPtr result = RunWithValues(link, QString::fromLatin1(kColumnsQuery), {name.toUtf8()});
    const int rows = PQntuples(result.get());
    if (rows == 0) {
        throw Error(DB_E_NOTABLE, SQL_NO_TABLE, QStringLiteral("Invalid object name '%1'.").arg(name),
                    written);
    }
    Table table;
    table.key.table = QString::fromUtf8(PQgetvalue(result.get(), 0, 0));
    for (int row = 0; row < rows; ++row) {
        const QString column = QString::fromUtf8(PQgetvalue(result.get(), row, 1));
        table.columnsByLowerName.insert(column.toLower(), column);
        if (PQgetvalue(result.get(), row, 2)[0] == 't')
            table.key.keyColumn = column;
        if (!PQgetisnull(result.get(), row, 3)) {
            table.identityColumn = column;
            table.identitySequence = QString::fromUtf8(PQgetvalue(result.get(), row, 3));
        }
    }
    engineNameOf_.insert(name, table.key.table);
    engineNameOf_.insert(table.key.table, table.key.table);
    return tables_[table.key.table] = std::move(table);
}

void TableCatalog::FollowIdentity(Link& link, const Table& table) {
    const QString sql =
        QString::fromLatin1(kFollowIdentity).arg(QuoteIdentifier(table.identityColumn), table.key.table);
    RunWithValues(link, sql, {table.identitySequence.toUtf8()});
}

void TableCatalog::FollowIdentityAfterInsert(Link& link, const QString& sent, const QString& written) {
    const std::vector<Token> all = sql::Tokenize(sent);
    std::vector<const Token*> tokens;
    for (const Token& token : all) {
        if (!IsBlank(token))
            tokens.push_back(&token);
    }
    // INSERT INTO name[.name] [(column, ...)] ...
    if (tokens.size() < 3 || !IsWord(*tokens[0], QLatin1StringView("INSERT")) ||
        !IsWord(*tokens[1], QLatin1StringView("INTO")) || !IsName(*tokens[2])) {
        return;
    }
    size_t i = 2;
    QString name = tokens[i++]->text;
    while (i + 1 < tokens.size() && IsSymbol(*tokens[i], QLatin1StringView(".")) && IsName(*tokens[i + 1])) {
        name += u'.' + tokens[i + 1]->text;
        i += 2;
    }
    QStringList columns;
    if (i < tokens.size() && IsSymbol(*tokens[i], QLatin1StringView("("))) {
        for (++i; i < tokens.size() && !IsSymbol(*tokens[i], QLatin1StringView(")")); ++i) {
            const Token& token = *tokens[i];
            if (token.kind == TokenKind::Word)
                columns << token.text.toLower();
            if (token.kind == TokenKind::QuotedName)
                columns << token.text.mid(1, token.text.size() - 2)
                               .replace(QStringLiteral("\"\""), QStringLiteral("\""));
        }
    } else if (i < tokens.size() && IsWord(*tokens[i], QLatin1StringView("DEFAULT"))) {
        return;
    }
    const Table& table = Load(link, name, written);
    if (table.identityColumn.isEmpty())
        return;
    if (columns.isEmpty() || columns.contains(table.identityColumn))
        FollowIdentity(link, table);
}

void TableCatalog::FollowIdentityAfterInsert(Link& link, const provider::TableKey& table,
                                             const std::vector<QString>& columns) {
    const Table& known = Known(link, table);
    if (known.identityColumn.isEmpty())
        return;
    for (const QString& column : columns) {
        if (column.compare(known.identityColumn, Qt::CaseInsensitive) == 0) {
            FollowIdentity(link, known);
            return;
        }
    }
}

QString TableCatalog::QuotedColumn(Link& link, const provider::TableKey& table, const QString& column) {
    const Table& known = Known(link, table);
    const auto actual = known.columnsByLowerName.constFind(column.toLower());
    return QuoteIdentifier(actual != known.columnsByLowerName.cend() ? *actual : column);
}

}  // namespace ado::postgresql
