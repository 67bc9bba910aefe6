#include "ado/variant.h"

#include "platform/clock.h"
#include "platform/runtime_error.h"

#include <QLocale>
#include <QTimeZone>

#include <cmath>
#include <limits>

namespace ado {

namespace {

[[noreturn]] void RaiseInvalidUseOfNull() {
    throw platform::RuntimeError(platform::kErrInvalidUseOfNull, QStringLiteral("Invalid use of Null"));
}

[[noreturn]] void RaiseTypeMismatch() {
    throw platform::RuntimeError(platform::kErrTypeMismatch, QStringLiteral("Type mismatch"));
}

[[noreturn]] void RaiseOverflow() {
    throw platform::RuntimeError(6, QStringLiteral("Overflow"));
}

// Day 0 of the automation date: dates convert to numbers as days since then, the time as the fraction.
const QDateTime& DateZero() {
    static const QDateTime zero(QDate(1899, 12, 30), QTime(0, 0));
    return zero;
}

double DateToNumber(const QDateTime& value) {
    return static_cast<double>(DateZero().msecsTo(value.toLocalTime())) / 86400000.0;
}

QDateTime NumberToDate(double days) {
    return DateZero().addMSecs(static_cast<qint64>(std::llround(days * 86400000.0)));
}

double TextToNumber(const QString& text) {
    bool ok = false;
    const QString trimmed = text.trimmed();
    double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::system().toDouble(trimmed, &ok);
    if (!ok)
        RaiseTypeMismatch();
    return value;
}

QDateTime TextToDate(const QString& text) {
    const QString trimmed = text.trimmed();
    for (const QString& format :
         {QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
          QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"), QStringLiteral("yyyy-MM-dd")}) {
        const QDateTime value = QDateTime::fromString(trimmed, format);
        if (value.isValid())
            return value;
    }
    const QLocale locale = QLocale::system();
    for (QLocale::FormatType type : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QDateTime value = locale.toDateTime(trimmed, type);
        if (value.isValid())
            return value;
        const QDate date = locale.toDate(trimmed, type);
        if (date.isValid())
            return QDateTime(date, QTime(0, 0));
    }
    RaiseTypeMismatch();
}

// Rounds to the nearest whole number, halves to the even one, as the run-time's integer conversions do.
int32_t RoundToLong(double value) {
    if (!std::isfinite(value))
        RaiseOverflow();
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<int32_t>::min() || rounded > std::numeric_limits<int32_t>::max())
        RaiseOverflow();
    return static_cast<int32_t>(rounded);
}

QString NumberToText(double value) {
    QString text = QString::number(value, 'g', 15);
    text.replace(QLatin1String("e+"), QLatin1String("E+"));
    text.replace(QLatin1String("e-"), QLatin1String("E-"));
    return text;
}

}  // namespace

Variant Variant::Null() {
    Variant value;
    value.value_ = NullTag{};
    return value;
}

Variant::Kind Variant::GetKind() const {
    return static_cast<Kind>(value_.index());
}

int32_t Variant::ToLong() const {
    switch (GetKind()) {
        case Kind::Empty:
            return 0;
        case Kind::Null:
            RaiseInvalidUseOfNull();
        case Kind::Boolean:
            return std::get<bool>(value_) ? -1 : 0;
        case Kind::Long:
            return std::get<int32_t>(value_);
        case Kind::Double:
            return RoundToLong(std::get<double>(value_));
        case Kind::Date:
            return RoundToLong(DateToNumber(std::get<QDateTime>(value_)));
        case Kind::String:
            return RoundToLong(TextToNumber(std::get<QString>(value_)));
    }
    RaiseTypeMismatch();
}

double Variant::ToDouble() const {
    switch (GetKind()) {
        case Kind::Empty:
            return 0.0;
        case Kind::Null:
            RaiseInvalidUseOfNull();
        case Kind::Boolean:
            return std::get<bool>(value_) ? -1.0 : 0.0;
        case Kind::Long:
            return std::get<int32_t>(value_);
        case Kind::Double:
            return std::get<double>(value_);
        case Kind::Date:
            return DateToNumber(std::get<QDateTime>(value_));
        case Kind::String:
            return TextToNumber(std::get<QString>(value_));
    }
    RaiseTypeMismatch();
}

bool Variant::ToBool() const {
    switch (GetKind()) {
        case Kind::Empty:
            return false;
        case Kind::Null:
            RaiseInvalidUseOfNull();
        case Kind::Boolean:
            return std::get<bool>(value_);
        case Kind::Long:
            return std::get<int32_t>(value_) != 0;
        case Kind::Double:
            return std::get<double>(value_) != 0.0;
        case Kind::Date:
            return DateToNumber(std::get<QDateTime>(value_)) != 0.0;
        case Kind::String: {
            const QString text = std::get<QString>(value_).trimmed();
            if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                return true;
            if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                return false;
            return TextToNumber(text) != 0.0;
        }
    }
    RaiseTypeMismatch();
}

QDateTime Variant::ToDate() const {
    switch (GetKind()) {
        case Kind::Empty:
            return DateZero();
        case Kind::Null:
            RaiseInvalidUseOfNull();
        case Kind::Boolean:
        case Kind::Long:
        case Kind::Double:
            return NumberToDate(ToDouble());
        case Kind::Date:
            return std::get<QDateTime>(value_);
        case Kind::String:
            return TextToDate(std::get<QString>(value_));
    }
    RaiseTypeMismatch();
}

QString Variant::ToString() const {
    switch (GetKind()) {
        case Kind::Empty:
            return {};
        case Kind::Null:
            RaiseInvalidUseOfNull();
        case Kind::Boolean:
            return std::get<bool>(value_) ? QStringLiteral("True") : QStringLiteral("False");
        case Kind::Long:
            return QString::number(std::get<int32_t>(value_));
        case Kind::Double:
            return NumberToText(std::get<double>(value_));
        case Kind::Date:
            return platform::FormatGeneralDate(std::get<QDateTime>(value_));
        case Kind::String:
            return std::get<QString>(value_);
    }
    RaiseTypeMismatch();
}

Variant Variant::ConvertTo(Kind kind) const {
    if (IsNull() || IsEmpty())
        return Null();
    switch (kind) {
        case Kind::Boolean:
            return Variant(ToBool());
        case Kind::Long:
            return Variant(ToLong());
        case Kind::Double:
            return Variant(ToDouble());
        case Kind::Date:
            return Variant(ToDate());
        case Kind::String:
            return Variant(ToString());
        case Kind::Empty:
        case Kind::Null:
            break;
    }
    return *this;
}

bool Variant::operator==(const Variant& other) const {
    return value_ == other.value_;
}

}  // namespace ado
