#include "ado/sqlite/connection.h"

#include "ado/connection.h"

#include "ado/sql/dialect.h"
#include "ado/sql/literal_parameters.h"
#include "ado/sqlite/error.h"
#include "ado/sqlite/provider.h"
#include "ado/sqlite/tuning.h"
#include "ado/trace.h"

#include <QStringList>

#include <optional>

#include <sqlite3.h>

namespace ado::sqlite {

namespace {

const QString kProviderName = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

constexpr int kQueryShapesKept = 512;       // shapes a session remembers; all are forgotten when it is full
constexpr qint64 kStandInBase = 900000000;  // the stand-in for a shape's number i is kStandInBase + i

QString Quoted(const QString& name) {
    return u'"' + QString(name).replace(u'"', QLatin1String("\"\"")) + u'"';
}

// The value a number literal stands for, when a parameter can carry it exactly.
std::optional<Variant> LiteralValue(QStringView literal) {
    bool ok = false;
    if (const int value = literal.toInt(&ok); ok)
        return Variant(static_cast<int32_t>(value));
    const bool decimal = literal.contains(u'.') || literal.contains(u'e', Qt::CaseInsensitive);
    if (const double value = literal.toDouble(&ok); ok && decimal)
        return Variant(value);
    return std::nullopt;  // a 64-bit or hexadecimal integer stays in the text
}

// The value of each literal; nullopt when one of them has no exact value to bind.
std::optional<std::vector<Variant>> LiteralValues(const std::vector<QStringView>& literals) {
    std::vector<Variant> values;
    for (const QStringView literal : literals) {
        const std::optional<Variant> value = LiteralValue(literal);
        if (!value)
            return std::nullopt;
        values.push_back(*value);
    }
    return values;
}

// The text sent for a query run by its shape: the prepared text, then the values bound to its parameters.
QString TraceSent(const QString& prepared, const std::vector<Variant>& values) {
    QStringList shown;
    for (const Variant& value : values)
        shown << value.ToString();
    return prepared + QStringLiteral(" /* ") + shown.join(QStringLiteral(", ")) + QStringLiteral(" */");
}

bool Writes(Statement& statement) {
    return statement.Handle() && !sqlite3_stmt_readonly(statement.Handle());
}

class JetProvider : public provider::Provider {
public:
    QString Name() const override { return kProviderName; }
    std::unique_ptr<provider::Session> Open(const ConnectionString& connection,
                                            const provider::OpenOptions& options) override {
        return std::make_unique<Session>(connection.Get(QStringLiteral("Data Source")), options);
    }
    void CreateDatabase(const ConnectionString& connection) override {
        CreateDatabaseFile(connection.Get(QStringLiteral("Data Source")));
    }
};

}  // namespace

std::shared_ptr<provider::Provider> MakeProvider() {
    return std::make_shared<JetProvider>();
}

Session::Session(const QString& file, const provider::OpenOptions& options)
    : commandTimeoutSeconds_(options.commandTimeoutSeconds) {
    const EngineCall call(WriteGroups::OfProcess());
    const bool exclusive = options.mode == adModeShareExclusive;
    // A handle given up here ends before the call does, with the lock still held.
    std::shared_ptr<Handle> handle = OpenHandle(file, exclusive);
    // A connection opened for writing says at once that it cannot write, rather than at each write.
    if (exclusive || options.mode == adModeReadWrite) {
        if (const QString unwritable = handle->UnwritablePath(); !unwritable.isEmpty())
            throw ReadOnly(unwritable);
    }
    handle_ = std::move(handle);
}

Session::~Session() {
    const EngineCall call(handle_->SharedGroups());
    handle_.reset();
}

EngineCall Session::Enter() {
    EngineCall call(handle_->SharedGroups());
    WriteGroups& groups = handle_->Groups();
    groups.RaiseLoss();
    if (!ProcessTuning().sharedHandle)
        groups.CommitAllBut(handle_.get());
    return call;
}

std::unique_ptr<provider::Cursor> Session::Query(const QString& sql, provider::Reading reading) {
    const EngineCall call = Enter();
    // A query whose shape is known skips the translation: its numbers go straight into the parameters.
    if (ProcessTuning().queryShapes) {
        const sql::NumberShape shape = sql::ShapeOfNumbers(sql);
        auto known = queryShapes_.constFind(shape.signature);
        if (known == queryShapes_.constEnd()) {
            if (queryShapes_.size() >= kQueryShapesKept)
                queryShapes_.clear();
            known = queryShapes_.insert(shape.signature, LearnShape(shape));
        }
        if (known->usable) {
            std::vector<QStringView> literals;
            for (const int number : known->numberOfParameter)
                literals.push_back(shape.numbers[number]);
            if (const std::optional<std::vector<Variant>> values = LiteralValues(literals)) {
                if (TraceEnabled())
                    TraceStatement(kProviderName, sql, TraceSent(known->text, *values));
                return Select(known->text, *values, sql, Writing::OnItsOwn, reading);
            }
        }
    }
    const std::vector<sql::Token> sent = sql::ToSqliteTokens(sql::Tokenize(sql));
    if (TraceEnabled())
        TraceStatement(kProviderName, sql, sql::Join(sent));
    // Statements that differ only in their numbers share one prepared statement.
    const sql::LiteralParameters parameterized = sql::ParameterizeLiterals(sent, u'?');
    const std::optional<std::vector<Variant>> values =
        LiteralValues(std::vector<QStringView>(parameterized.literals.begin(), parameterized.literals.end()));
    if (!values)
        return Select(sql::Join(sent), {}, sql, Writing::OnItsOwn, reading);
    return Select(parameterized.text, *values, sql, Writing::OnItsOwn, reading);
}

Session::QueryShape Session::LearnShape(const sql::NumberShape& shape) {
    QString standIn;
    int number = 0;
    for (const QChar c : shape.signature) {
        if (c == sql::kNumberMark)
            standIn += QString::number(kStandInBase + number++);
        else
            standIn += c;
    }
    const sql::LiteralParameters parameterized =
        sql::ParameterizeLiterals(sql::ToSqliteTokens(sql::Tokenize(standIn)), u'?');
    // Usable when every number of the query, and nothing else, became a parameter.
    QueryShape learned;
    std::vector<bool> seen(shape.numbers.size(), false);
    for (const QString& literal : parameterized.literals) {
        bool ok = false;
        const qint64 index = literal.toLongLong(&ok) - kStandInBase;
        if (!ok || index < 0 || index >= static_cast<qint64>(seen.size()) || seen[index])
            return {};
        seen[index] = true;
        learned.numberOfParameter.push_back(static_cast<int>(index));
    }
    if (learned.numberOfParameter.size() != shape.numbers.size())
        return {};
    learned.usable = true;
    learned.text = parameterized.text;
    return learned;
}

std::unique_ptr<provider::Cursor> Session::Select(const QString& sql, const std::vector<Variant>& values,
                                                  const QString& written, Writing writing,
                                                  provider::Reading reading) {
    Lease statement(*handle_, handle_->Prepare(sql, written));
    const bool writes = Writes(*statement);
    // A query that writes is not a by-key write: it runs after the grouped writes, on its own.
    if (writing == Writing::OnItsOwn && writes)
        handle_->Groups().CommitAll();
    statement->Bind(values);
    const bool hasRow = handle_->Step(*statement, written, commandTimeoutSeconds_);
    // A statement read whole at once, or one that writes, ends before the program does anything else.
    if (reading == provider::Reading::Whole || writes || !hasRow)
        return std::make_unique<Cursor>(handle_, statement.Keep(), hasRow, written, commandTimeoutSeconds_);
    return ReadOrCopy(statement, sql, values, written);
}

std::unique_ptr<provider::Cursor> Session::ReadOrCopy(Lease& statement, const QString& sql,
                                                      const std::vector<Variant>& values,
                                                      const QString& written) {
    // A read left open between two calls would hold the file's state as it was when the read began: once
    // another process commits, this connection's next write would be refused for good, and the write-ahead
    // log could not be checkpointed. So a streamed query is read at once when it is short, and otherwise its
    // whole result is copied, within the same read, before the program goes on.
    std::vector<std::vector<Variant>> rows;
    bool more = true;
    while (more && rows.size() < kRowsReadAtOnce) {
        statement->Read(rows.emplace_back());
        more = handle_->Step(*statement, written, commandTimeoutSeconds_);
    }
    const std::vector<provider::Column> columns = statement->Columns();
    const auto readTheRest = [&] {
        for (; more; more = handle_->Step(*statement, written, commandTimeoutSeconds_))
            statement->Read(rows.emplace_back());
    };
    // The copy is made outside any transaction, so that no rollback of one can take its rows away: the write
    // group is committed first (the read goes on, with the group's writes in it). Within a transaction of the
    // program's own, and for a statement a copy cannot take (a PRAGMA), the rows are read here.
    if (more && handle_->InOwnTransaction())
        readTheRest();
    if (!more)
        return std::make_unique<BufferedCursor>(columns, std::move(rows));
    handle_->Groups().CommitAll();
    handle_->Groups().RaiseLoss();
    const int width = static_cast<int>(columns.size());
    const QString table = handle_->TakeCopyTable(width);
    std::unique_ptr<Statement> copy;
    try {
        copy = handle_->Prepare(QStringLiteral("INSERT INTO temp.%1 ").arg(table) + sql, written);
    } catch (const Error&) {
        handle_->GiveCopyTable(table, width);
        readTheRest();
        return std::make_unique<BufferedCursor>(columns, std::move(rows));
    }
    try {
        Lease copying(*handle_, std::move(copy));
        copying->Bind(values);
        while (handle_->Step(*copying, written, commandTimeoutSeconds_)) {
        }
    } catch (const Error&) {
        handle_->GiveCopyTable(table, width);
        throw;
    }
    return std::make_unique<CopyCursor>(handle_, table, columns, std::move(rows), written,
                                        commandTimeoutSeconds_);
}

int64_t Session::Execute(const QString& sql) {
    QStringList sent;
    for (const QString& part : sql::SplitBatch(sql))
        sent << sql::ToSqlite(part);
    if (TraceEnabled())
        TraceStatement(kProviderName, sql, sent.join(QStringLiteral("; ")));
    const EngineCall call = Enter();
    // A command (a write of any size, BEGIN, COMMIT, ...) comes after every grouped write and commits on
    // its own, so that a long one cut short by its time-out never takes a group down with it.
    handle_->Groups().CommitAll();
    handle_->Groups().RaiseLoss();
    int64_t changes = 0;
    for (QString text : sent) {
        // A part may still hold several statements; each runs in turn.
        while (!text.isEmpty()) {
            Lease statement(*handle_, handle_->Prepare(text, sql));
            while (handle_->Step(*statement, sql, commandTimeoutSeconds_)) {
            }
            changes = Writes(*statement) ? sqlite3_changes64(handle_->Db()) : 0;
            text = statement->Tail();
        }
    }
    return changes;
}

provider::TableKey Session::UpdatableTable(const QString& sql) {
    const EngineCall call = Enter();
    QString table;
    bool single = false;
    {
        Lease statement(*handle_, handle_->Prepare(sql::ToSqlite(sql), sql));
        sqlite3_stmt* prepared = statement->Handle();
        const int count = prepared ? sqlite3_column_count(prepared) : 0;
        single = count > 0;
        // Every column must come straight from the one table.
        for (int i = 0; i < count && single; ++i) {
            const char* origin = sqlite3_column_table_name(prepared, i);
            const QString name = origin ? QString::fromUtf8(origin) : QString();
            single = !name.isEmpty() && (table.isEmpty() || name == table);
            table = name;
        }
    }
    if (!single)
        throw ObjectModelError(ADODB_E_NOTSUPPORTED);
    return provider::TableKey{table, handle_->KeyColumn(table)};
}

std::unique_ptr<provider::Cursor> Session::SelectByKey(const provider::TableKey& table, const Variant& key) {
    const QString sql =
        QStringLiteral("SELECT * FROM %1 WHERE %2 = ?").arg(Quoted(table.table), Quoted(table.keyColumn));
    const EngineCall call = Enter();
    return Select(sql, {key}, sql, Writing::OnItsOwn, provider::Reading::Whole);
}

Session::WriteResult Session::GroupedWrite(const QString& sql, const std::vector<Variant>& values,
                                           const QString& what) {
    handle_->JoinGroup(sql);
    WriteResult result;
    {
        Lease statement(*handle_, handle_->Prepare(sql, sql));
        statement->Bind(values);
        try {
            std::vector<Variant> row;
            while (handle_->Step(*statement, sql, commandTimeoutSeconds_)) {
                statement->Read(row);
                result.returned = row.at(0);
            }
        } catch (const Error& err) {
            handle_->CheckGroupAfterFailure(err);
            throw;
        }
        result.changes = sqlite3_changes64(handle_->Db());
    }
    handle_->CountGroupedWrite(what);
    handle_->Groups().CommitIfDue();
    handle_->Groups().RaiseLoss();
    return result;
}

Variant Session::Insert(const provider::TableKey& table, const std::vector<QString>& columns,
                        const std::vector<Variant>& values) {
    // An updatable recordset inserts the same columns row after row: the statement is made once.
    QString key = table.table;
    for (const QString& column : columns)
        key += QChar(0x1f) + column;
    QString& sql = insertStatements_[key];
    if (sql.isEmpty()) {
        QStringList names;
        for (const QString& column : columns)
            names << Quoted(column);
        const QString returning = QStringLiteral(" RETURNING ") + Quoted(table.keyColumn);
        sql = columns.empty()
                  ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quoted(table.table)) + returning
                  : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(Quoted(table.table), names.join(QStringLiteral(", ")),
                                 QStringList(names.size(), QStringLiteral("?")).join(u',')) +
                        returning;
    }
    const EngineCall call = Enter();
    return GroupedWrite(sql, values, QStringLiteral("insert(s) into ") + table.table).returned;
}

int64_t Session::Update(const provider::TableKey& table, const Variant& key,
                        const std::vector<QString>& columns, const std::vector<Variant>& values) {
    QStringList assignments;
    for (const QString& column : columns)
        assignments << Quoted(column) + QStringLiteral(" = ?");
    std::vector<Variant> bound = values;
    bound.push_back(key);
    const EngineCall call = Enter();
    return GroupedWrite(
               QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                   .arg(Quoted(table.table), assignments.join(QStringLiteral(", ")), Quoted(table.keyColumn)),
               bound, QStringLiteral("update(s) of ") + table.table)
        .changes;
}

int64_t Session::Delete(const provider::TableKey& table, const Variant& key) {
    const EngineCall call = Enter();
    return GroupedWrite(QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                            .arg(Quoted(table.table), Quoted(table.keyColumn)),
                        {key}, QStringLiteral("deletion(s) from ") + table.table)
        .changes;
}

bool Session::Reusable() {
    const EngineCall call(handle_->SharedGroups());
    // A file that was moved away, deleted or copied over is not the database this session has open.
    return !handle_->Exclusive() && handle_->StillOpensItsFile() && !handle_->InOwnTransaction();
}

void Session::Flush() {
    const EngineCall call = Enter();
    handle_->Groups().CommitAll();
    handle_->Groups().RaiseLoss();
}

}  // namespace ado::sqlite
