#pragma once
// One field of a recordset's current row.

#include "ado/variant.h"

#include <QString>

namespace ado {

class Recordset;

class Field {
public:
    const QString& Name() const { return name_; }
    // The kind of value the field's column is declared to hold, as the provider reads the engine's type; Null
    // when the engine declares none. Raises 3704 when the recordset is closed.
    Variant::Kind DeclaredKind() const;
    // The value in the current row. Raises 3021 when there is no current row.
    const Variant& Value() const;
    // Sets the value in the current row's edit buffer; Recordset::Update writes it.
    void SetValue(const Variant& value);
    Field& operator=(const Variant& value) {
        SetValue(value);
        return *this;
    }
    // Shorthands for Value().ToXxx().
    int32_t ToLong() const { return Value().ToLong(); }
    bool ToBool() const { return Value().ToBool(); }
    QString ToString() const { return Value().ToString(); }
    QDateTime ToDate() const { return Value().ToDate(); }
    bool IsNull() const { return Value().IsNull(); }

private:
    friend class Recordset;
    Field(Recordset* owner, int index, QString name) : owner_(owner), index_(index), name_(std::move(name)) {}
    Recordset* owner_;
    int index_;
    QString name_;
};

}  // namespace ado
