#pragma once
// ADO's Recordset.
//
// Forward-only, read-only recordsets stream their rows from the engine. The others (keyset or dynamic
// cursor, or any lock type but read-only) are updatable: opening reads the keys of the rows in order, a row's
// values are read when it becomes current, and AddNew/Update/Delete write to the base table by key, seen and
// kept as the provider's session says (provider.h).
//
// When the connection replaces a broken session, an updatable recordset reads and writes its rows by key on
// the new one. A stream runs its statement again there and passes over the rows it has already given,
// matched by their values (as many of each as it gave), so that a scan neither repeats nor misses a row;
// rows that other connections changed meanwhile are seen as they are now.

#include "ado/connection.h"
#include "ado/field.h"
#include "ado/variant.h"

#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace ado {

inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adOpenKeyset = 1;
inline constexpr int adOpenDynamic = 2;
inline constexpr int adOpenStatic = 3;

inline constexpr int adLockReadOnly = 1;
inline constexpr int adLockPessimistic = 2;
inline constexpr int adLockOptimistic = 3;

inline constexpr int adUseServer = 2;
inline constexpr int adUseClient = 3;

inline constexpr int adAffectCurrent = 1;

inline constexpr int adEditNone = 0;
inline constexpr int adEditInProgress = 1;
inline constexpr int adEditAdd = 2;

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Runs source on connection. On failure raises ado::Error (also added to the connection's Errors) and
    // stays closed.
    void Open(const QString& source, Connection& activeConnection, int cursorType = adOpenForwardOnly,
              int lockType = adLockReadOnly, int options = -1);
    // Closes the recordset. Raises 3704 when it is not open.
    void Close();
    int State() const;

    // At the end / before the start (both true for an empty recordset).
    bool Eof() const;
    bool Bof() const;
    // Moving past the end or before the start raises 3021. Forward-only recordsets cannot move back (3251).
    // A move that fails on an engine error stays on the current row and may be tried again.
    void MoveNext();
    void MoveFirst();
    void MoveLast();
    // Moves n rows from the current one; Move(0) reads the current row again (edited fields keep their new
    // values).
    void Move(int n);
    // Rows in the recordset: exact for updatable recordsets, -1 for a forward-only one.
    int RecordCount() const;

    // The field of that name, without regard to case. Raises 3265 when the recordset has no such field.
    Field& Fields(const QString& name);
    Field& operator()(const QString& name) { return Fields(name); }
    int FieldCount() const;
    Field& FieldAt(int index);

    // Begins a new row; its fields start Null. Raises 3251 on a read-only recordset.
    void AddNew();
    // Writes the new row or the changed fields of the current row. After an insert the new row (with the
    // values the database gave it) is the current row. Raises ado::Error; the edit stays pending then.
    void Update();
    // Deletes the current row. Raises ado::Error; the row then stays.
    void Delete(int affectRecords = adAffectCurrent);

    int CursorLocation = adUseServer;
    Connection* ActiveConnection() const { return connection_; }
    // The statement the recordset was opened with; empty when it is closed.
    QString Source() const;
    // adEditAdd while a new row is not yet written, adEditInProgress while fields of the current row are
    // changed and not yet written, else adEditNone (also when closed).
    int EditMode() const;

private:
    friend class Field;
    const Variant& ValueAt(int index) const;
    Variant::Kind KindAt(int index) const;
    void SetValueAt(int index, const Variant& value);

    struct Impl;
    // The open recordset's state; raises 3704 when it is closed.
    Impl& OpenImpl() const;
    // The same for a write; also raises 3251 when the recordset is read-only.
    Impl& WritableImpl() const;
    std::unique_ptr<Impl> impl_;
    Connection* connection_ = nullptr;
};

}  // namespace ado
