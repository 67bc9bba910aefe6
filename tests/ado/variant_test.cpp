// Conversions of values as the program relies on them, and connection strings.
#include "ado/variant.h"
#include "ado/connection_string.h"
#include "platform/runtime_error.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

namespace {

using ado::Variant;

// The run-time error number that call raises, 0 when it raises none.
int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const platform::RuntimeError& err) {
        return err.Number();
    }
    return 0;
}

template <typename T>
using Conversions = std::vector<std::tuple<Variant, T, int>>;  // a value, what it gives, the error it raises

template <typename T>
void ExpectConversions(const Conversions<T>& cases, T (Variant::*to)() const) {
    for (const auto& [value, expected, error] : cases) {
        T result{};
        EXPECT_EQ(ErrorOf([&] { result = (value.*to)(); }), error) << value.ToString().toStdString();
        EXPECT_EQ(result, expected) << value.ToString().toStdString();
    }
}

// Catches a conversion that rounds, reads text or raises (13, 6, 94) other than the run-time does.
TEST(VariantTest, ConvertsAsTheRunTimeDoes) {
    const Conversions<int32_t> longs = {
        {Variant(int32_t{42}), 42, 0},  {Variant(true), -1, 0},    {Variant(false), 0, 0},
        {Variant(2.5), 2, 0},           {Variant(3.5), 4, 0},      {Variant(-2.5), -2, 0},  // halves to even
        {Variant(" 17 "), 17, 0},       {Variant("1e3"), 1000, 0}, {Variant(), 0, 0},
        {Variant("seventeen"), 0, 13},  {Variant(""), 0, 13},      {Variant(3e9), 0, 6},
        {Variant("-3000000000"), 0, 6},
    };
    ExpectConversions(longs, &Variant::ToLong);
    const Conversions<bool> bools = {
        {Variant(int32_t{1}), true, 0}, {Variant(int32_t{0}), false, 0}, {Variant(int32_t{-1}), true, 0},
        {Variant(0.25), true, 0},       {Variant("TRUE"), true, 0},      {Variant("false"), false, 0},
        {Variant("0"), false, 0},       {Variant("yes"), false, 13},
    };
    ExpectConversions(bools, &Variant::ToBool);
    const QDateTime at(QDate(2023, 11, 5), QTime(6, 7, 8));
    const Conversions<QDateTime> dates = {
        {Variant("2023-11-05 06:07:08"), at, 0},
        {Variant("2023-11-05T06:07:08"), at, 0},
        {Variant("2023-11-05"), QDateTime(at.date(), QTime(0, 0)), 0},
        {Variant("not a date"), QDateTime(), 13},
    };
    ExpectConversions(dates, &Variant::ToDate);
    const Variant null = Variant::Null();
    for (const auto& use : std::vector<std::function<void()>>{
             [&] { null.ToLong(); }, [&] { null.ToDouble(); }, [&] { null.ToBool(); }, [&] { null.ToDate(); },
             [&] { null.ToString(); }})
        EXPECT_EQ(ErrorOf(use), 94);
    EXPECT_TRUE(null.ConvertTo(Variant::Kind::Long).IsNull());
    EXPECT_EQ(Variant(at).ConvertTo(Variant::Kind::Date), Variant(at));
    EXPECT_EQ(Variant(true).ToBoolean16(), -1);
    EXPECT_FALSE(Variant(int32_t{1}) == Variant(1.0));  // equal values need the same kind
    EXPECT_EQ(Variant::Null(), Variant::Null());
    EXPECT_FALSE(Variant::Null() == Variant());
}

// Catches numbers, booleans or Empty written as text otherwise than the run-time writes them.
TEST(VariantTest, WritesNumbersAndBooleansAsText) {
    const std::pair<Variant, const char*> cases[] = {
        {Variant(int32_t{-12}), "-12"}, {Variant(0.1), "0.1"},    {Variant(2.0), "2"},
        {Variant(1e20), "1E+20"},       {Variant(1e-5), "1E-05"}, {Variant(true), "True"},
        {Variant(false), "False"},      {Variant(), ""},          {Variant("as is"), "as is"},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(value.ToString(), QString::fromLatin1(expected));
}

// Catches keys read by their case, blanks kept around keys and values, or a quoted semicolon ending one.
TEST(ConnectionStringTest, ReadsKeysWithoutRegardToCaseAndQuotedValues) {
    const ado::ConnectionString text(QStringLiteral(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ks/KS.mdb;Persist Security Info=False;User ID=;"
        "Password=;"));
    const std::pair<const char*, const char*> cases[] = {{"provider", "Microsoft.Jet.OLEDB.4.0"},
                                                         {"DATA SOURCE", "/srv/ks/KS.mdb"},
                                                         {"Persist Security Info", "False"},
                                                         {"User ID", ""}};
    for (const auto& [key, value] : cases)
        EXPECT_EQ(text.Get(QString::fromLatin1(key)), QString::fromLatin1(value));
    EXPECT_TRUE(text.Has(QStringLiteral("password")));
    EXPECT_FALSE(text.Has(QStringLiteral("Initial Catalog")));
    EXPECT_EQ(text.Get(QStringLiteral("Initial Catalog"), QStringLiteral("none")), QStringLiteral("none"));
    const ado::ConnectionString quoted(QStringLiteral(" Data Source = 'a;b.mdb' ; Pwd=\"x;y\";UID= me "));
    EXPECT_EQ(quoted.Get(QStringLiteral("Data Source")), QStringLiteral("a;b.mdb"));
    EXPECT_EQ(quoted.Get(QStringLiteral("Pwd")), QStringLiteral("x;y"));
    EXPECT_EQ(quoted.Get(QStringLiteral("UID")), QStringLiteral("me"));
}

}  // namespace
