// Conversions of values as the program relies on them, and connection strings.
#include "ado/variant.h"
#include "ado/connection_string.h"
#include "platform/runtime_error.h"

#include <gtest/gtest.h>

#include <functional>

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

TEST(VariantTest, NullCannotBeUsedAsAValue) {
    const Variant null = Variant::Null();
    EXPECT_EQ(ErrorOf([&] { null.ToLong(); }), 94);
    EXPECT_EQ(ErrorOf([&] { null.ToDouble(); }), 94);
    EXPECT_EQ(ErrorOf([&] { null.ToBool(); }), 94);
    EXPECT_EQ(ErrorOf([&] { null.ToDate(); }), 94);
    EXPECT_EQ(ErrorOf([&] { null.ToString(); }), 94);
    EXPECT_TRUE(null.ConvertTo(Variant::Kind::Long).IsNull());
}

TEST(VariantTest, ConvertsToLongAsTheRunTimeDoes) {
    const struct {
        Variant value;
        int32_t expected;
        int error;
    } cases[] = {
        {Variant(int32_t{42}), 42, 0}, {Variant(true), -1, 0}, {Variant(false), 0, 0},
        {Variant(2.5), 2, 0},  // halves go to the even number
        {Variant(3.5), 4, 0},          {Variant(-2.5), -2, 0}, {Variant(" 17 "), 17, 0},
        {Variant("1e3"), 1000, 0},     {Variant(), 0, 0},      {Variant("seventeen"), 0, 13},
        {Variant(""), 0, 13},          {Variant(3e9), 0, 6},   {Variant("-3000000000"), 0, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.IsEmpty() ? QStringLiteral("Empty").toStdString()
                                       : c.value.ToString().toStdString());
        int32_t result = 0;
        EXPECT_EQ(ErrorOf([&] { result = c.value.ToLong(); }), c.error);
        if (c.error == 0) {
            EXPECT_EQ(result, c.expected);
        }
    }
}

TEST(VariantTest, ConvertsToBoolean) {
    const struct {
        Variant value;
        bool expected;
        int error;
    } cases[] = {
        {Variant(int32_t{1}), true, 0}, {Variant(int32_t{0}), false, 0}, {Variant(int32_t{-1}), true, 0},
        {Variant(0.25), true, 0},       {Variant("TRUE"), true, 0},      {Variant("false"), false, 0},
        {Variant("0"), false, 0},       {Variant("yes"), false, 13},
    };
    for (const auto& c : cases) {
        bool result = false;
        EXPECT_EQ(ErrorOf([&] { result = c.value.ToBool(); }), c.error) << c.value.ToString().toStdString();
        if (c.error == 0) {
            EXPECT_EQ(result, c.expected) << c.value.ToString().toStdString();
        }
    }
    EXPECT_EQ(Variant(true).ToBoolean16(), -1);
}

TEST(VariantTest, WritesNumbersAndBooleansAsText) {
    const struct {
        Variant value;
        const char* expected;
    } cases[] = {
        {Variant(int32_t{-12}), "-12"}, {Variant(0.1), "0.1"},    {Variant(2.0), "2"},
        {Variant(1e20), "1E+20"},       {Variant(1e-5), "1E-05"}, {Variant(true), "True"},
        {Variant(false), "False"},      {Variant(), ""},          {Variant("as is"), "as is"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value.ToString(), QString::fromLatin1(c.expected));
}

TEST(VariantTest, ReadsStoredDateTexts) {
    const QDateTime expected(QDate(2023, 11, 5), QTime(6, 7, 8));
    EXPECT_EQ(Variant("2023-11-05 06:07:08").ToDate(), expected);
    EXPECT_EQ(Variant("2023-11-05T06:07:08").ToDate(), expected);
    EXPECT_EQ(Variant("2023-11-05").ToDate(), QDateTime(QDate(2023, 11, 5), QTime(0, 0)));
    EXPECT_EQ(ErrorOf([] { Variant("not a date").ToDate(); }), 13);
    EXPECT_EQ(Variant(expected).ConvertTo(Variant::Kind::Date), Variant(expected));
}

TEST(VariantTest, EqualityNeedsTheSameKind) {
    EXPECT_EQ(Variant(int32_t{1}), Variant(int32_t{1}));
    EXPECT_FALSE(Variant(int32_t{1}) == Variant(1.0));
    EXPECT_EQ(Variant::Null(), Variant::Null());
    EXPECT_FALSE(Variant::Null() == Variant());
}

TEST(ConnectionStringTest, ReadsKeysWithoutRegardToCase) {
    const ado::ConnectionString text(QStringLiteral(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/ks/KS.mdb;Persist Security Info=False;"
        "User ID=;Password=;"));
    const struct {
        const char* key;
        const char* value;
    } cases[] = {
        {"provider", "Microsoft.Jet.OLEDB.4.0"},
        {"DATA SOURCE", "/srv/ks/KS.mdb"},
        {"Persist Security Info", "False"},
        {"User ID", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text.Get(QString::fromLatin1(c.key)), QString::fromLatin1(c.value));
    EXPECT_TRUE(text.Has(QStringLiteral("password")));
    EXPECT_FALSE(text.Has(QStringLiteral("Initial Catalog")));
    EXPECT_EQ(text.Get(QStringLiteral("Initial Catalog"), QStringLiteral("none")), QStringLiteral("none"));
}

TEST(ConnectionStringTest, QuotedValuesMayHoldSemicolons) {
    const ado::ConnectionString text(QStringLiteral(" Data Source = 'a;b.mdb' ; Pwd=\"x;y\";UID= me "));
    EXPECT_EQ(text.Get(QStringLiteral("Data Source")), QStringLiteral("a;b.mdb"));
    EXPECT_EQ(text.Get(QStringLiteral("Pwd")), QStringLiteral("x;y"));
    EXPECT_EQ(text.Get(QStringLiteral("UID")), QStringLiteral("me"));
}

}  // namespace
