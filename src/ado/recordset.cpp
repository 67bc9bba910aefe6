#include "ado/recordset.h"

#include <QHashFunctions>

#include <algorithm>
#include <unordered_map>

namespace ado {

namespace {

Error NotUpdatable() {
    return Error(
        ADODB_E_NOTSUPPORTED, 0,
        QStringLiteral("Current Recordset does not support updating. This may be a limitation of the "
                       "provider, or of the selected locktype."));
}

const Variant& NullValue() {
    static const Variant null = Variant::Null();
    return null;
}

int IndexOf(const std::vector<provider::Column>& columns, const QString& name) {
    const auto it = std::find_if(columns.begin(), columns.end(), [&](const provider::Column& column) {
        return column.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    return it == columns.end() ? -1 : static_cast<int>(it - columns.begin());
}

// A row's fingerprint: rows of equal values have equal fingerprints, rows that differ almost never do.
size_t Fingerprint(const std::vector<Variant>& row) {
    size_t hash = 0;
    for (const Variant& value : row) {
        const Variant::Kind kind = value.GetKind();
        hash = qHashMulti(hash, static_cast<int>(kind));
        switch (kind) {
            case Variant::Kind::Boolean:
            case Variant::Kind::Long:
                hash = qHashMulti(hash, value.ToLong());
                break;
            case Variant::Kind::Double:
                hash = qHashMulti(hash, value.ToDouble());
                break;
            case Variant::Kind::Date: {
                // The wall-clock fields, not the instant: no time-zone lookup per value.
                const QDateTime date = value.ToDate();
                hash = qHashMulti(hash, date.date().toJulianDay(), date.time().msecsSinceStartOfDay());
                break;
            }
            case Variant::Kind::String:
                hash = qHashMulti(hash, value.ToString());
                break;
            case Variant::Kind::Empty:
            case Variant::Kind::Null:
                break;
        }
    }
    return hash;
}

}  // namespace

// How the rows are held: a stream reads them from the engine once, in order; a keyset holds the keys of the
// rows and reads a row by its key when it becomes current; a snapshot (read-only statements that have no
// single base table with a key, such as joins and aggregates) holds the rows themselves.
struct Recordset::Impl {
    enum class Mode { Stream, Keyset, Snapshot };

    Connection* connection = nullptr;
    Mode mode = Mode::Stream;
    bool updatable = false;
    std::vector<provider::Column> columns;
    std::deque<Field> fields;

    // The statement the recordset was opened with. A stream whose session breaks runs it again on the
    // connection's new session and passes over as many rows of each fingerprint as it has already given.
    QString source;
    std::unique_ptr<provider::Cursor> cursor;
    uint64_t cursorSession = 0;  // the connection's session number when the cursor was made
    std::vector<size_t> given;   // the fingerprint of each row given so far, where the session can break
    std::unordered_map<size_t, int64_t> toPassOver;  // after a new start: rows given before, by fingerprint
    std::vector<Variant> nextRow;
    int64_t rowsRead = 0;
    bool streamEnded = false;      // moved past the last row
    bool streamExhausted = false;  // the cursor has no rows left

    // Keyset and snapshot
    std::optional<provider::TableKey> table;
    std::vector<Variant> keys;
    std::vector<std::vector<Variant>> rows;
    std::vector<char> gone;  // deleted here or found missing
    int64_t goneCount = 0;
    std::vector<int> tableColumnOf;  // recordset column -> column of the base table's row
    int keyIndex = -1;               // the recordset column that holds the key
    int64_t pos = -1;                // -1 before the first row, Size() after the last
    bool currentGone = false;

    // The current row and its edit buffer
    std::vector<Variant> current;
    // The row just added: read by its key when a value other than the key is asked for.
    bool currentUnread = false;
    std::vector<std::optional<Variant>> edits;
    bool adding = false;

    provider::Session& Session() { return connection->GetSession(); }

    // Runs a provider call; an engine error goes into the connection's Errors on its way out.
    template <typename Call>
    auto Engine(Call&& call) {
        try {
            return call(Session());
        } catch (const Error& err) {
            throw connection->Record(err);
        }
    }

    int64_t Size() const {
        return mode == Mode::Keyset ? static_cast<int64_t>(keys.size()) : static_cast<int64_t>(rows.size());
    }
    int64_t LiveRows() const { return Size() - goneCount; }

    bool HasCurrent() const {
        if (mode == Mode::Stream)
            return rowsRead > 0 && !streamEnded;
        return pos >= 0 && pos < Size() && !currentGone;
    }
    bool AtEnd() const {
        if (mode == Mode::Stream)
            return streamEnded;
        return pos >= Size() || (LiveRows() == 0 && pos < 0);
    }
    bool AtStart() const {
        if (mode == Mode::Stream)
            return rowsRead == 0;
        return pos < 0 || (LiveRows() == 0 && pos >= Size());
    }
    bool HasEdits() const {
        return std::any_of(edits.begin(), edits.end(), [](const auto& edit) { return edit.has_value(); });
    }
    void DropEdits() {
        adding = false;
        std::fill(edits.begin(), edits.end(), std::nullopt);
    }

    void StartStream(provider::Session& session) {
        cursor.reset();
        cursor = session.Query(source);
        cursorSession = connection->SessionNumber();
    }

    // After the stream's session broke: the statement again, on the new session.
    void RestartStream(provider::Session& session) {
        session.SetCommandTimeout(connection->CommandTimeout);
        StartStream(session);
        toPassOver.clear();
        for (const size_t print : given)
            ++toPassOver[print];
    }

    // True when a row of this fingerprint was given before the stream started again (and counts it off).
    bool GivenBefore(size_t print) {
        if (toPassOver.empty())
            return false;
        const auto found = toPassOver.find(print);
        if (found == toPassOver.end())
            return false;
        if (--found->second == 0)
            toPassOver.erase(found);
        return true;
    }

    // Makes the stream's next row current. False when there is none left (the current row stays). On a
    // failure the current row stays as well, so that the move can be tried again.
    bool NextStreamRow(provider::Session& session) {
        if (streamExhausted)
            return false;
        if (cursorSession != connection->SessionNumber())
            RestartStream(session);
        while (cursor->Next(nextRow)) {
            if (session.CanBreak()) {
                const size_t print = Fingerprint(nextRow);
                if (GivenBefore(print))
                    continue;
                given.push_back(print);
            }
            current.swap(nextRow);
            ++rowsRead;
            return true;
        }
        streamExhausted = true;
        return false;
    }

    void AdvanceStream(provider::Session& session) {
        if (!NextStreamRow(session))
            streamEnded = true;
    }

    void MarkGone(int64_t index) {
        if (gone[index])
            return;
        gone[index] = 1;
        ++goneCount;
    }

    // Reads row index into row. False when it is no longer in the database.
    bool ReadRow(int64_t index, std::vector<Variant>& row) {
        if (mode == Mode::Snapshot) {
            row = rows[index];
            return true;
        }
        std::vector<Variant> tableRow;
        const bool found = Engine([&](provider::Session& session) {
            const std::unique_ptr<provider::Cursor> byKey = session.SelectByKey(*table, keys[index]);
            if (tableColumnOf.empty())
                MapTableColumns(byKey->Columns());
            return byKey->Next(tableRow);
        });
        if (!found)
            return false;
        row.resize(columns.size());
        for (size_t i = 0; i < columns.size(); ++i)
            row[i] = tableRow[tableColumnOf[i]];
        return true;
    }

    void MapTableColumns(const std::vector<provider::Column>& tableColumns) {
        std::vector<int> map;
        for (const provider::Column& column : columns) {
            const int index = IndexOf(tableColumns, column.name);
            if (index < 0)
                throw NotUpdatable();
            map.push_back(index);
        }
        tableColumnOf = std::move(map);
    }

    // Moves one live row in direction (+1 or -1), skipping rows deleted here or by others; past the last or
    // before the first row when there is none.
    void Step(int direction) {
        for (int64_t i = pos + direction; i >= 0 && i < Size(); i += direction) {
            if (gone[i])
                continue;
            std::vector<Variant> row;
            if (ReadRow(i, row)) {
                pos = i;
                current = std::move(row);
                currentUnread = false;
                currentGone = false;
                return;
            }
            MarkGone(i);
        }
        pos = direction > 0 ? Size() : -1;
        currentUnread = false;
        currentGone = false;
    }

    void Reread() {
        currentUnread = false;
        if (mode != Mode::Keyset || currentGone)
            return;
        std::vector<Variant> row;
        if (ReadRow(pos, row)) {
            current = std::move(row);
        } else {
            MarkGone(pos);
            currentGone = true;
        }
    }

    std::vector<QString> EditedNames(std::vector<Variant>& values) const {
        std::vector<QString> names;
        for (size_t i = 0; i < edits.size(); ++i) {
            if (!edits[i])
                continue;
            names.push_back(columns[i].name);
            values.push_back(*edits[i]);
        }
        return names;
    }

    // Writes the new row. It becomes current unread: the engine gives its key, and its other values are read
    // only when one is asked for (a rebuild adds many rows and reads none of them back).
    void Insert() {
        std::vector<Variant> values;
        const std::vector<QString> names = EditedNames(values);
        const Variant key =
            Engine([&](provider::Session& session) { return session.Insert(*table, names, values); });
        if (key.IsNull() || key.IsEmpty())
            throw NotUpdatable();
        keys.push_back(key);
        gone.push_back(0);
        pos = Size() - 1;
        current.assign(columns.size(), Variant());
        currentUnread = true;
        currentGone = false;
        DropEdits();
    }

    // The current row's value of column index, reading the row just added when it is still unread.
    const Variant& CurrentValue(int index) {
        if (currentUnread) {
            if (index == keyIndex)
                return keys[pos];
            Reread();
            if (currentGone)
                throw ObjectModelError(ADODB_E_NOCURRENTRECORD);  // another connection deleted it meanwhile
        }
        return current[index];
    }

    void UpdateCurrent() {
        if (!HasCurrent())
            throw ObjectModelError(ADODB_E_NOCURRENTRECORD);
        if (currentUnread)
            Reread();
        std::vector<Variant> values;
        const std::vector<QString> names = EditedNames(values);
        const int64_t affected = Engine(
            [&](provider::Session& session) { return session.Update(*table, keys[pos], names, values); });
        if (affected == 0) {
            // Another connection deleted the row: nothing is left to save the edit to.
            MarkGone(pos);
            currentGone = true;
            DropEdits();
            throw ObjectModelError(ADODB_E_NOCURRENTRECORD);
        }
        for (size_t i = 0; i < edits.size(); ++i)
            if (edits[i])
                current[i] = *edits[i];
        if (keyIndex >= 0 && edits[keyIndex])
            keys[pos] = *edits[keyIndex];
        DropEdits();
    }
};

Recordset::Recordset() = default;

Recordset::~Recordset() {
    if (impl_) {
        auto& open = connection_->recordsets_;
        open.erase(std::remove(open.begin(), open.end(), this), open.end());
    }
}

void Recordset::Open(const QString& source, Connection& activeConnection, int cursorType, int lockType,
                     int /*options*/) {
    if (impl_)
        throw ObjectModelError(ADODB_E_OBJECTOPEN);
    auto impl = std::make_unique<Impl>();
    impl->connection = &activeConnection;
    impl->source = source;
    impl->Engine([&](provider::Session& session) {
        session.SetCommandTimeout(activeConnection.CommandTimeout);
        if (cursorType == adOpenForwardOnly && lockType == adLockReadOnly) {
            impl->mode = Impl::Mode::Stream;
            impl->StartStream(session);
            impl->columns = impl->cursor->Columns();
            return;
        }
        try {
            impl->table = session.UpdatableTable(source);
        } catch (const Error& err) {
            if (err.Number() != ADODB_E_NOTSUPPORTED || lockType != adLockReadOnly)
                throw;
        }
        std::unique_ptr<provider::Cursor> cursor = session.Query(source, provider::Reading::Whole);
        impl->columns = cursor->Columns();
        const int keyIndex = impl->table ? IndexOf(impl->columns, impl->table->keyColumn) : -1;
        impl->keyIndex = keyIndex;
        if (impl->table && keyIndex < 0) {
            if (lockType != adLockReadOnly)
                throw NotUpdatable();
            impl->table.reset();
        }
        impl->mode = impl->table ? Impl::Mode::Keyset : Impl::Mode::Snapshot;
        impl->updatable = impl->table && lockType != adLockReadOnly;
        std::vector<Variant> row;
        while (cursor->Next(row)) {
            if (impl->table)
                impl->keys.push_back(row[keyIndex]);
            else
                impl->rows.push_back(row);
        }
    });
    for (size_t i = 0; i < impl->columns.size(); ++i) {
        const QString& name = impl->columns[i].name;
        impl->fields.push_back(Field(this, static_cast<int>(i), name));
    }
    impl->edits.assign(impl->columns.size(), std::nullopt);
    if (impl->mode == Impl::Mode::Stream) {
        impl->Engine([&](provider::Session& session) { impl->AdvanceStream(session); });
    } else {
        impl->gone.assign(impl->Size(), 0);
        impl->Step(+1);
    }
    impl_ = std::move(impl);
    connection_ = &activeConnection;
    activeConnection.recordsets_.push_back(this);
}

void Recordset::Close() {
    OpenImpl();  // closing a closed recordset is an error
    auto& open = connection_->recordsets_;
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
    impl_.reset();
    connection_ = nullptr;
}

Recordset::Impl& Recordset::OpenImpl() const {
    if (!impl_)
        throw ObjectModelError(ADODB_E_OBJECTCLOSED);
    return *impl_;
}

Recordset::Impl& Recordset::WritableImpl() const {
    Impl& impl = OpenImpl();
    if (!impl.updatable)
        throw NotUpdatable();
    return impl;
}

QString Recordset::Source() const {
    return impl_ ? impl_->source : QString();
}

int Recordset::EditMode() const {
    if (!impl_)
        return adEditNone;
    if (impl_->adding)
        return adEditAdd;
    const bool changed = std::any_of(impl_->edits.begin(), impl_->edits.end(),
                                     [](const std::optional<Variant>& edit) { return edit.has_value(); });
    return changed ? adEditInProgress : adEditNone;
}

int Recordset::State() const {
    return impl_ ? adStateOpen : adStateClosed;
}

bool Recordset::Eof() const {
    return OpenImpl().AtEnd();
}

bool Recordset::Bof() const {
    return OpenImpl().AtStart();
}

void Recordset::MoveNext() {
    Move(1);
}

void Recordset::MoveFirst() {
    Impl& impl = OpenImpl();
    impl.DropEdits();
    if (impl.mode == Impl::Mode::Stream) {
        // A stream is on its first row only until it moves.
        if (impl.rowsRead > 1 || impl.streamEnded) {
            if (impl.rowsRead > 0)
                throw ObjectModelError(ADODB_E_NOTSUPPORTED);
        }
        return;
    }
    impl.pos = -1;
    impl.Step(+1);
}

void Recordset::MoveLast() {
    Impl& impl = OpenImpl();
    impl.DropEdits();
    if (impl.mode == Impl::Mode::Stream) {
        if (impl.streamEnded) {
            throw ObjectModelError(impl.rowsRead == 0 ? ADODB_E_NOCURRENTRECORD : ADODB_E_NOTSUPPORTED);
        }
        // Reads to the end; the last row read stays current.
        impl.Engine([&](provider::Session& session) {
            while (impl.NextStreamRow(session)) {
            }
        });
        return;
    }
    if (impl.LiveRows() == 0)
        throw ObjectModelError(ADODB_E_NOCURRENTRECORD);
    impl.pos = impl.Size();
    impl.Step(-1);
}

void Recordset::Move(int n) {
    Impl& impl = OpenImpl();
    if (n == 0) {
        if (impl.adding)
            return;
        if (!impl.HasCurrent() && !impl.currentGone)
            throw ObjectModelError(ADODB_E_NOCURRENTRECORD);
        impl.Reread();
        return;
    }
    if (n > 0 && impl.AtEnd())
        throw ObjectModelError(ADODB_E_NOCURRENTRECORD);
    if (n < 0 && impl.mode == Impl::Mode::Stream)
        throw ObjectModelError(ADODB_E_NOTSUPPORTED);
    if (n < 0 && impl.AtStart())
        throw ObjectModelError(ADODB_E_NOCURRENTRECORD);
    // An edit not saved with Update is given up when the recordset moves on.
    impl.DropEdits();
    for (int step = 0; step < std::abs(n); ++step) {
        if (impl.mode == Impl::Mode::Stream) {
            impl.Engine([&](provider::Session& session) { impl.AdvanceStream(session); });
        } else {
            impl.Step(n > 0 ? +1 : -1);
        }
        if (impl.AtEnd() || impl.AtStart())
            break;
    }
}

int Recordset::RecordCount() const {
    const Impl& impl = OpenImpl();
    if (impl.mode == Impl::Mode::Stream)
        return impl.streamExhausted ? static_cast<int>(impl.rowsRead) : -1;
    return static_cast<int>(impl.LiveRows());
}

Field& Recordset::Fields(const QString& name) {
    Impl& impl = OpenImpl();
    // A recordset has few columns: comparing without case is quicker than folding the name for a lookup.
    const int index = IndexOf(impl.columns, name);
    if (index < 0)
        throw ObjectModelError(ADODB_E_ITEMNOTFOUND);
    return impl.fields[index];
}

int Recordset::FieldCount() const {
    return static_cast<int>(OpenImpl().fields.size());
}

Field& Recordset::FieldAt(int index) {
    Impl& impl = OpenImpl();
    if (index < 0 || index >= static_cast<int>(impl.fields.size()))
        throw ObjectModelError(ADODB_E_ITEMNOTFOUND);
    return impl.fields[index];
}

void Recordset::AddNew() {
    Impl& impl = WritableImpl();
    impl.DropEdits();
    impl.adding = true;
}

void Recordset::Update() {
    Impl& impl = WritableImpl();
    if (impl.adding) {
        impl.Insert();
    } else if (impl.HasEdits()) {
        impl.UpdateCurrent();
    }
}

void Recordset::Delete(int /*affectRecords*/) {
    Impl& impl = WritableImpl();
    if (impl.adding) {
        // The new row was never written: deleting it gives it up.
        impl.DropEdits();
        return;
    }
    if (impl.currentGone)
        return;  // already gone, which is what was asked
    if (!impl.HasCurrent())
        throw ObjectModelError(ADODB_E_NOCURRENTRECORD);
    impl.Engine([&](provider::Session& session) { return session.Delete(*impl.table, impl.keys[impl.pos]); });
    impl.MarkGone(impl.pos);
    impl.currentGone = true;
    impl.DropEdits();
}

const Variant& Recordset::ValueAt(int index) const {
    Impl& impl = OpenImpl();
    if (impl.adding)
        return impl.edits[index] ? *impl.edits[index] : NullValue();
    if (!impl.HasCurrent())
        throw ObjectModelError(ADODB_E_NOCURRENTRECORD);
    return impl.edits[index] ? *impl.edits[index] : impl.CurrentValue(index);
}

Variant::Kind Recordset::KindAt(int index) const {
    return OpenImpl().columns[index].kind;
}

void Recordset::SetValueAt(int index, const Variant& value) {
    Impl& impl = WritableImpl();
    if (!impl.adding && !impl.HasCurrent())
        throw ObjectModelError(ADODB_E_NOCURRENTRECORD);
    // A field holds values of its own kind, converted as they are assigned.
    impl.edits[index] = value.ConvertTo(impl.columns[index].kind);
}

const Variant& Field::Value() const {
    return owner_->ValueAt(index_);
}

Variant::Kind Field::DeclaredKind() const {
    return owner_->KindAt(index_);
}

void Field::SetValue(const Variant& value) {
    owner_->SetValueAt(index_, value);
}

}  // namespace ado
