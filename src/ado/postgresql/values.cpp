#include "ado/postgresql/values.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>
#include <limits>

namespace ado::postgresql {

namespace {

// Type OIDs of the built-in types (fixed by the server's catalog).
enum : Oid {
    kBool = 16,
    kChar = 18,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kBpchar = 1042,
    kVarchar = 1043,
    kDate = 1082,
    kTime = 1083,
    kTimestamp = 1114,
    kTimestampTz = 1184,
    kNumeric = 1700,
};

// ISO date-times as the server writes them with DateStyle ISO: "2024-05-01 10:20:30[.ffffff][+hh[:mm]]".
QDateTime ParseTimestamp(const QString& text) {
    static const QRegularExpression kForm(QStringLiteral(
        R"(^(\d{4,})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)(?:\.(\d+))?(?:([+-])(\d\d)(?::(\d\d))?(?::(\d\d))?)?$)"));
    const QRegularExpressionMatch m = kForm.match(text);
    if (!m.hasMatch())
        return {};
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const int ms = m.captured(7).isEmpty() ? 0 : (m.captured(7) + QStringLiteral("00")).left(3).toInt();
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), ms);
    if (m.captured(8).isEmpty())
        return QDateTime(date, time);  // local time as stored
    const int offset = (m.captured(9).toInt() * 3600 + m.captured(10).toInt() * 60 + m.captured(11).toInt()) *
                       (m.captured(8) == u'-' ? -1 : 1);
    return QDateTime(date, time, QTimeZone(offset)).toLocalTime();
}

Variant ReadNumber(const QString& text, Variant::Kind kind) {
    bool ok = false;
    if (kind == Variant::Kind::Boolean)
        return Variant(text.toLongLong(&ok) != 0);
    if (kind == Variant::Kind::Long) {
        const qlonglong value = text.toLongLong(&ok);
        if (ok && value >= std::numeric_limits<int32_t>::min() &&
            value <= std::numeric_limits<int32_t>::max()) {
            return Variant(static_cast<int32_t>(value));
        }
    }
    const double value = text.toDouble(&ok);
    return ok ? Variant(value) : Variant(text);
}

Variant ReadDate(const QString& text, Oid type) {
    QDateTime value;
    if (type == kDate)
        value = QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0));
    if (type == kTime)
        value = QDateTime(QDate(1899, 12, 30), QTime::fromString(text.left(12), Qt::ISODateWithMs));
    if (type == kTimestamp || type == kTimestampTz)
        value = ParseTimestamp(text);
    return value.isValid() ? Variant(value) : Variant(text);  // infinity, BC dates: as written
}

}  // namespace

Variant::Kind KindOfType(Oid type) {
    switch (type) {
        case kBool:
        case kInt2:
            return Variant::Kind::Boolean;
        case kInt4:
        case kInt8:
        case kOid:
            return Variant::Kind::Long;
        case kFloat4:
        case kFloat8:
        case kNumeric:
            return Variant::Kind::Double;
        case kDate:
        case kTime:
        case kTimestamp:
        case kTimestampTz:
            return Variant::Kind::Date;
        case kChar:
        case kName:
        case kText:
        case kBpchar:
        case kVarchar:
        default:
            return Variant::Kind::String;
    }
}

std::vector<provider::Column> ColumnsOf(const PGresult* result) {
    std::vector<provider::Column> columns;
    const int count = PQnfields(result);
    columns.reserve(count);
    for (int i = 0; i < count; ++i) {
        columns.push_back(
            provider::Column{QString::fromUtf8(PQfname(result, i)), KindOfType(PQftype(result, i))});
    }
    return columns;
}

Variant ReadCell(const PGresult* result, int row, int column) {
    if (PQgetisnull(result, row, column))
        return Variant::Null();
    const QString text = QString::fromUtf8(PQgetvalue(result, row, column), PQgetlength(result, row, column));
    const Oid type = PQftype(result, column);
    if (type == kBool)
        return Variant(text == u't');
    const Variant::Kind kind = KindOfType(type);
    switch (kind) {
        case Variant::Kind::Boolean:
        case Variant::Kind::Long:
        case Variant::Kind::Double:
            return ReadNumber(text, kind);
        case Variant::Kind::Date:
            return ReadDate(text, type);
        default:
            return Variant(text);
    }
}

void ReadRow(const PGresult* result, int rowIndex, std::vector<Variant>& row) {
    const int count = PQnfields(result);
    row.resize(count);
    for (int i = 0; i < count; ++i)
        row[i] = ReadCell(result, rowIndex, i);
}

std::optional<QByteArray> ParameterText(const Variant& value) {
    switch (value.GetKind()) {
        case Variant::Kind::Empty:
        case Variant::Kind::Null:
            return std::nullopt;
        case Variant::Kind::Boolean:
            return QByteArray(value.ToBool() ? "1" : "0");
        case Variant::Kind::Long:
            return QByteArray::number(value.ToLong());
        case Variant::Kind::Double: {
            // Whole numbers without a decimal point, so that integer columns take them too.
            const double number = value.ToDouble();
            if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 9.0e15) {
                return QByteArray::number(static_cast<qlonglong>(number));
            }
            return QByteArray::number(number, 'g', 17);
        }
        case Variant::Kind::Date:
            return value.ToDate().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
        case Variant::Kind::String:
            return value.ToString().toUtf8();
    }
    return std::nullopt;
}

}  // namespace ado::postgresql
