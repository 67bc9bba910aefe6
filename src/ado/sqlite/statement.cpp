#include "ado/sqlite/statement.h"

#include "ado/sqlite/error.h"
#include "ado/sqlite/handle.h"
#include "ado/sqlite/write_groups.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QHash>

#include <limits>

namespace ado::sqlite {

namespace {

// Dates are stored as local time in this text form.
const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// The digits of text from position at, count of them; -1 when one is not a digit.
int DigitsAt(const QString& text, qsizetype at, int count) {
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

QDateTime ParseStoredDate(const QString& text) {
    // The form the provider writes is read digit by digit: a scan reads hundreds of thousands of them.
    if (text.size() == 19 && text[4] == u'-' && text[7] == u'-' && text[10] == u' ' && text[13] == u':' &&
        text[16] == u':') {
        const QDate date(DigitsAt(text, 0, 4), DigitsAt(text, 5, 2), DigitsAt(text, 8, 2));
        const QTime time(DigitsAt(text, 11, 2), DigitsAt(text, 14, 2), DigitsAt(text, 17, 2));
        if (date.isValid() && time.isValid())
            return QDateTime(date, time);
    }
    for (const QString& format : {kDateFormat, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"),
                                  QStringLiteral("yyyy-MM-ddTHH:mm:ss"), QStringLiteral("yyyy-MM-dd")}) {
        const QDateTime value = QDateTime::fromString(text, format);
        if (value.isValid())
            return value;
    }
    return {};
}

QString ColumnText(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
}

Variant IntegerValue(sqlite3_int64 value) {
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return Variant(static_cast<double>(value));
    return Variant(static_cast<int32_t>(value));
}

// A value by its storage class alone.
Variant StoredValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_NULL:
            return Variant::Null();
        case SQLITE_INTEGER:
            return IntegerValue(sqlite3_column_int64(stmt, column));
        case SQLITE_FLOAT:
            return Variant(sqlite3_column_double(stmt, column));
        default:
            return Variant(ColumnText(stmt, column));
    }
}

Variant ColumnValue(sqlite3_stmt* stmt, int column, Variant::Kind kind) {
    const int storage = sqlite3_column_type(stmt, column);
    if (storage == SQLITE_NULL)
        return Variant::Null();
    switch (kind) {
        case Variant::Kind::Boolean:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return Variant(sqlite3_column_double(stmt, column) != 0.0);
            break;
        case Variant::Kind::Long:
            if (storage == SQLITE_INTEGER)
                return IntegerValue(sqlite3_column_int64(stmt, column));
            break;
        case Variant::Kind::Double:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return Variant(sqlite3_column_double(stmt, column));
            break;
        case Variant::Kind::Date:
            if (storage == SQLITE_TEXT) {
                const QDateTime value = ParseStoredDate(ColumnText(stmt, column));
                if (value.isValid())
                    return Variant(value);
            }
            break;
        case Variant::Kind::String:
            return Variant(ColumnText(stmt, column));
        default:
            break;
    }
    // A value that does not fit its column's declared type is read as it is stored.
    return StoredValue(stmt, column);
}

}  // namespace

Variant::Kind KindOfDeclaredType(const QString& declared) {
    const QString type = declared.section(u'(', 0, 0).trimmed().toUpper();
    if (type.isEmpty())
        return Variant::Kind::Null;
    static const QHash<QString, Variant::Kind> kinds{
        {QStringLiteral("INTEGER"), Variant::Kind::Long},    {QStringLiteral("INT"), Variant::Kind::Long},
        {QStringLiteral("LONG"), Variant::Kind::Long},       {QStringLiteral("COUNTER"), Variant::Kind::Long},
        {QStringLiteral("BOOLEAN"), Variant::Kind::Boolean}, {QStringLiteral("BIT"), Variant::Kind::Boolean},
        {QStringLiteral("YESNO"), Variant::Kind::Boolean},   {QStringLiteral("REAL"), Variant::Kind::Double},
        {QStringLiteral("DOUBLE"), Variant::Kind::Double},   {QStringLiteral("FLOAT"), Variant::Kind::Double},
        {QStringLiteral("DATETIME"), Variant::Kind::Date},   {QStringLiteral("DATE"), Variant::Kind::Date},
        {QStringLiteral("TIMESTAMP"), Variant::Kind::Date},  {QStringLiteral("TEXT"), Variant::Kind::String},
        {QStringLiteral("VARCHAR"), Variant::Kind::String},  {QStringLiteral("CHAR"), Variant::Kind::String},
        {QStringLiteral("MEMO"), Variant::Kind::String},
    };
    return kinds.value(type, Variant::Kind::Null);
}

Statement::Statement(sqlite3* db, const QString& sql, const QString& written) : sql_(sql) {
    const QByteArray utf8 = sql.toUtf8();
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db, utf8.constData(), static_cast<int>(utf8.size()),
                                      SQLITE_PREPARE_PERSISTENT, &stmt_, &tail);
    if (rc != SQLITE_OK) {
        const Error error = EngineError(db, rc, written);
        sqlite3_finalize(stmt_);
        throw error;
    }
    if (tail) {
        tail_ =
            QString::fromUtf8(tail, static_cast<qsizetype>(utf8.constData() + utf8.size() - tail)).trimmed();
        while (tail_.startsWith(u';'))
            tail_ = tail_.mid(1).trimmed();
    }
    const int count = stmt_ ? sqlite3_column_count(stmt_) : 0;
    for (int i = 0; i < count; ++i) {
        columns_.push_back(
            provider::Column{QString::fromUtf8(sqlite3_column_name(stmt_, i)),
                             KindOfDeclaredType(QString::fromUtf8(sqlite3_column_decltype(stmt_, i)))});
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

void Statement::Bind(const std::vector<Variant>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        const Variant& value = values[i];
        switch (value.GetKind()) {
            case Variant::Kind::Empty:
            case Variant::Kind::Null:
                sqlite3_bind_null(stmt_, index);
                break;
            case Variant::Kind::Boolean:
                sqlite3_bind_int(stmt_, index, value.ToBool() ? 1 : 0);
                break;
            case Variant::Kind::Long:
                sqlite3_bind_int(stmt_, index, value.ToLong());
                break;
            case Variant::Kind::Double:
                sqlite3_bind_double(stmt_, index, value.ToDouble());
                break;
            case Variant::Kind::Date:
                sqlite3_bind_text(stmt_, index,
                                  value.ToDate().toLocalTime().toString(kDateFormat).toUtf8().constData(), -1,
                                  SQLITE_TRANSIENT);
                break;
            case Variant::Kind::String:
                sqlite3_bind_text(stmt_, index, value.ToString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
                break;
        }
    }
}

void Statement::Read(std::vector<Variant>& row) const {
    Read(row, columns_);
}

void Statement::Read(std::vector<Variant>& row, const std::vector<provider::Column>& columns,
                     int first) const {
    row.resize(columns.size());
    for (size_t i = 0; i < columns.size(); ++i)
        row[i] = ColumnValue(stmt_, first + static_cast<int>(i), columns[i].kind);
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

Cursor::Cursor(std::shared_ptr<Handle> handle, std::unique_ptr<Statement> statement, bool hasRow,
               QString written, int timeoutSeconds)
    : handle_(std::move(handle)),
      statement_(std::move(statement)),
      columns_(statement_->Columns()),
      rowReady_(hasRow),
      written_(std::move(written)),
      timeoutSeconds_(timeoutSeconds) {
    ReadAhead();
}

Cursor::~Cursor() {
    const EngineCall call(handle_->SharedGroups());
    handle_->Release(std::move(statement_));
    handle_.reset();
}

void Cursor::ReadAhead() {
    haveAhead_ = rowReady_;
    if (!rowReady_)
        return;
    statement_->Read(ahead_);
    rowReady_ = false;  // a failed step ends the rows
    rowReady_ = handle_->Step(*statement_, written_, timeoutSeconds_);
    if (!rowReady_)
        statement_->Reset();
}

bool Cursor::Next(std::vector<Variant>& row) {
    if (!haveAhead_)
        return false;
    row.swap(ahead_);
    const EngineCall call(handle_->SharedGroups());
    ReadAhead();
    return true;
}

bool BufferedCursor::Next(std::vector<Variant>& row) {
    if (next_ >= rows_.size())
        return false;
    row.swap(rows_[next_++]);
    return true;
}

CopyCursor::CopyCursor(std::shared_ptr<Handle> handle, QString table, std::vector<provider::Column> columns,
                       std::vector<std::vector<Variant>> first, QString written, int timeoutSeconds)
    : handle_(std::move(handle)),
      table_(std::move(table)),
      chunkSql_(QStringLiteral("SELECT rowid, * FROM temp.%1 WHERE rowid > ? ORDER BY rowid LIMIT %2")
                    .arg(table_)
                    .arg(kRowsReadAtOnce)),
      columns_(std::move(columns)),
      first_(columns_, first),
      toPassOver_(std::move(first)),
      written_(std::move(written)),
      timeoutSeconds_(timeoutSeconds) {}

CopyCursor::~CopyCursor() {
    const EngineCall call(handle_->SharedGroups());
    try {
        handle_->GiveCopyTable(table_, static_cast<int>(columns_.size()));
    } catch (const Error&) {
        // The table keeps its rows and is not used again; it goes with the connection.
    }
    handle_.reset();
}

bool CopyCursor::PassOver(const std::vector<Variant>& row) {
    if (passedOver_ == toPassOver_.size())
        return false;
    // The copy gives the rows in the query's own order as a rule, so the next one is looked at first.
    for (size_t i = 0; i < toPassOver_.size(); ++i) {
        const size_t at = (passOverNext_ + i) % toPassOver_.size();
        if (!toPassOver_[at].empty() && toPassOver_[at] == row) {
            toPassOver_[at].clear();  // a row of no columns never equals one read from the copy
            passOverNext_ = at + 1;
            ++passedOver_;
            return true;
        }
    }
    return false;
}

bool CopyCursor::ReadChunk() {
    chunk_.clear();
    chunkNext_ = 0;
    Lease statement(*handle_, handle_->Prepare(chunkSql_, written_));
    statement->Bind({Variant(static_cast<double>(lastRowid_))});
    while (handle_->Step(*statement, written_, timeoutSeconds_)) {
        lastRowid_ = sqlite3_column_int64(statement->Handle(), 0);
        statement->Read(chunk_.emplace_back(), columns_, 1);
    }
    copyEnded_ = chunk_.size() < kRowsReadAtOnce;
    return !chunk_.empty();
}

bool CopyCursor::Next(std::vector<Variant>& row) {
    if (first_.Next(row))
        return true;
    const EngineCall call(handle_->SharedGroups());
    for (;;) {
        if (chunkNext_ == chunk_.size() && (copyEnded_ || !ReadChunk()))
            return false;
        row.swap(chunk_[chunkNext_++]);
        if (!PassOver(row))
            return true;
    }
}

}  // namespace ado::sqlite
