#pragma once
// A field or parameter value: Empty, Null, 16-bit boolean, 32-bit integer, double, date-time or text, with
// the conversions the program relies on.

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <variant>

namespace ado {

class Variant {
public:
    enum class Kind { Empty, Null, Boolean, Long, Double, Date, String };

    Variant() = default;  // Empty
    static Variant Null();
    Variant(bool value) : value_(value) {}
    Variant(int32_t value) : value_(value) {}
    Variant(double value) : value_(value) {}
    Variant(const QDateTime& value) : value_(value) {}
    Variant(const QString& value) : value_(value) {}
    Variant(const char* value) : value_(QString::fromUtf8(value)) {}

    Kind GetKind() const;
    bool IsNull() const { return GetKind() == Kind::Null; }
    bool IsEmpty() const { return GetKind() == Kind::Empty; }

    // Conversions. Null raises run-time error 94 ("Invalid use of Null"); a value that cannot be converted
    // raises 13 ("Type mismatch"); a number out of the 32-bit range raises 6 ("Overflow"). Empty converts to
    // 0, false or "". Text converts to a number when it reads as one.
    int32_t ToLong() const;
    double ToDouble() const;
    // Booleans: true is any non-zero number, the texts "True"/"False" in any case.
    bool ToBool() const;
    // The 16-bit boolean as stored: -1 for true, 0 for false.
    int16_t ToBoolean16() const { return ToBool() ? -1 : 0; }
    QDateTime ToDate() const;
    // Text: numbers in plain decimal, booleans "True"/"False", dates in the general date format.
    QString ToString() const;
    // The value as a field of the given kind holds it: Null and Empty stay Null, other kinds convert as above
    // (Kind::Null and Kind::Empty keep the value as it is).
    Variant ConvertTo(Kind kind) const;

    bool operator==(const Variant& other) const;

private:
    struct NullTag {
        bool operator==(const NullTag&) const { return true; }
    };
    std::variant<std::monostate, NullTag, bool, int32_t, double, QDateTime, QString> value_;
};

}  // namespace ado
