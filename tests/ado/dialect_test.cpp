// The dialect translation: tokens, and each rule with the program's statements that show it.
#include "ado/sql/dialect.h"
#include "ado/connection.h"
#include "support/databases.h"
#include "support/product_schema.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using ado::sql::SplitBatch;
using ado::sql::Token;
using ado::sql::Tokenize;
using ado::sql::ToPostgres;
using ado::sql::ToSqlite;

// Catches a token that loses or adds text (joined, the tokens give the text back), or of the wrong kind.
TEST(Tokenize, GivesTheTextBackInTokensOfTheirKinds) {
    const char* texts[] = {
        "SELECT * FROM [Court Charges] WHERE [Court Charge ID] = 3",
        "SELECT 'it''s; [not] a -- name' AS \"quoted \"\" name\" FROM t -- trailing; note",
        "/* block ' comment */SELECT 1.5e-3, .25, x<>y, a::text, b||c FROM t;\n\tSELECT 2",
        "SELECT 'unterminated",
        "SELECT [unterminated",
        "SELECT [a]]b] FROM /* unterminated",
        "",
    };
    for (const char* text : texts) {
        QString joined;
        for (const Token& token : Tokenize(QString::fromUtf8(text)))
            joined += token.text;
        EXPECT_EQ(joined, QString::fromUtf8(text));
    }
    QString kinds;  // each token as <kind letter>:<text>, between bars
    const QString sql = u"SELECT [People ID],\"x\" FROM t WHERE n='a''b' AND v<>-1.5 -- c\n/*d*/"_s;
    for (const Token& token : Tokenize(sql))
        kinds += u"|%1:"_s.arg(QLatin1Char("WBQSNY_C"[static_cast<int>(token.kind)])) + token.text;
    EXPECT_EQ(kinds,
              u"|W:SELECT|_: |B:[People ID]|Y:,|Q:\"x\"|_: |W:FROM|_: |W:t|_: |W:WHERE|_: |W:n|Y:="
              "|S:'a''b'|_: |W:AND|_: |W:v|Y:<>|Y:-|N:1.5|_: |C:-- c|_:\n|C:/*d*/"_s);
}

// Catches a number's shape that takes out what is no number token (in text, names, comments) or leaves one.
TEST(ShapeOfNumbers, TakesOutTheNumbersTheTokensHoldAndNothingElse) {
    const QString sql =
        u"SELECT TOP 1 ID FROM t2 WHERE a = 12 AND b = 'x 3' AND [c 4] = -5.5 AND d = .5 -- 6\n"_s;
    const ado::sql::NumberShape shape = ado::sql::ShapeOfNumbers(sql);
    EXPECT_EQ(shape.signature,
              u"SELECT TOP %1 ID FROM t2 WHERE a = %1 AND b = 'x 3' AND [c 4] = -%1 AND d = %1 -- 6\n"_s.arg(
                  ado::sql::kNumberMark));
    QStringList numbers;
    for (const QStringView number : shape.numbers)
        numbers << number.toString();
    EXPECT_EQ(numbers, (QStringList{"1", "12", "5.5", ".5"}));
}

// Each rule once, with the program's statements that show it: written, sent to SQLite, sent to the server.
const struct Rule {
    const char* written;
    const char* sqlite;    // nullptr: as written
    const char* postgres;  // nullptr: as for SQLite
    bool runs;             // on the server's empty product database, where the names must be the tables' own
} kRules[] = {
    {"SELECT TOP 5 a FROM t", "SELECT a FROM t LIMIT 5", nullptr, false},
    {"select distinct top 3 a from t order by a", "select distinct a from t order by a LIMIT 3", nullptr,
     false},
    {"SELECT TOP (2) * FROM t", "SELECT * FROM t LIMIT 2", nullptr, false},
    {"SELECT * FROM (SELECT TOP 2 * FROM (SELECT TOP 9 a FROM t ORDER BY a) x) y WHERE b=1",
     "SELECT * FROM (SELECT * FROM (SELECT a FROM t ORDER BY a LIMIT 9) x LIMIT 2) y WHERE b=1", nullptr,
     false},
    {"SELECT TOP 1 a FROM t -- first\n", "SELECT a FROM t LIMIT 1 -- first\n", nullptr, false},
    {"SELECT TOP 1 a FROM t; SELECT TOP 2 b FROM u", "SELECT a FROM t LIMIT 1; SELECT b FROM u LIMIT 2",
     nullptr, false},
    {"SELECT top FROM t", nullptr, nullptr, false},
    {"SELECT 'SELECT TOP 5 [x]' FROM t /* SELECT TOP 1 [y] */", nullptr, nullptr, false},
    {"SELECT [Say \"Hi\" ]] Now] FROM [T]", nullptr, "SELECT \"say \"\"hi\"\" ] now\" FROM \"t\"", false},
    {"SELECT * FROM t WHERE a = TRUE AND b = FALSE", nullptr, nullptr, false},
    {"DELETE FROM Blacklist WHERE ID = 3", nullptr, nullptr, true},
    {"DELETE Blacklist WHERE ID = 3", nullptr, "DELETE FROM Blacklist WHERE ID = 3", true},
    {"SELECT * FROM [Parameters] WHERE ID = 1", nullptr, "SELECT * FROM \"parameters\" WHERE ID = 1", true},
    {"SELECT TOP 1 ID FROM Blacklist WHERE Manually_Entered = 0 AND Agency_ID = 12 ORDER BY ID",
     "SELECT ID FROM Blacklist WHERE Manually_Entered = 0 AND Agency_ID = 12 ORDER BY ID LIMIT 1", nullptr,
     true},
    {"SET IDENTITY_INSERT Blacklist ON; INSERT INTO Blacklist (ID) VALUES (7); SET IDENTITY_INSERT Blacklist "
     "OFF",
     nullptr, "INSERT INTO Blacklist (ID) VALUES (7);", true},
    {"DELETE Blacklist FROM (SELECT TOP 500 * FROM Blacklist WHERE Agency_ID = 12 AND Manually_Entered = 0 "
     "ORDER BY ID) AS t1 Where t1.ID = Blacklist.ID",
     "DELETE Blacklist FROM (SELECT * FROM Blacklist WHERE Agency_ID = 12 AND Manually_Entered = 0 ORDER BY "
     "ID LIMIT 500) AS t1 Where t1.ID = Blacklist.ID",
     "DELETE FROM Blacklist USING (SELECT * FROM Blacklist WHERE Agency_ID = 12 AND Manually_Entered = 0 "
     "ORDER BY ID LIMIT 500) AS t1 WHERE t1.ID = Blacklist.ID",
     true},
    {"SELECT [Court Charges].Drug_Related FROM Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = "
     "[Court Charges].[ID] WHERE [People ID] = 345 AND (Sex_Crime = 1 OR Theft_Related = 1)",
     nullptr,
     "SELECT \"court charges\".Drug_Related FROM Cases LEFT JOIN \"court charges\" ON "
     "Cases.\"court charge\" = \"court charges\".\"id\" WHERE \"people id\" = 345 AND (Sex_Crime = 1 OR "
     "Theft_Related = 1)",
     true},
};

// Catches a rule that moves TOP wrongly or changes what it must leave (names, text, comments, plain deletes).
TEST(Dialect, TranslationRulesGiveTheExactText) {
    for (const Rule& rule : kRules) {
        const std::string sqlite = rule.sqlite ? rule.sqlite : rule.written;
        EXPECT_EQ(ToSqlite(QString::fromUtf8(rule.written)).toStdString(), sqlite);
        EXPECT_EQ(ToPostgres(QString::fromUtf8(rule.written)).toStdString(),
                  rule.postgres ? rule.postgres : sqlite);
    }
}

// Catches a batch split at a semicolon inside text, names or comments, or keeping empty parts.
TEST(Dialect, SplitBatchSplitsAtTheSemicolonsBetweenStatements) {
    const std::pair<const char*, QStringList> cases[] = {
        {"SELECT 1", {"SELECT 1"}},
        {" INSERT INTO t (ID) VALUES (7); \n", {"INSERT INTO t (ID) VALUES (7)"}},
        {"SELECT ';' AS \"a;b\", [c;d] FROM t; -- x;y\nSELECT 2",
         {"SELECT ';' AS \"a;b\", [c;d] FROM t", "-- x;y\nSELECT 2"}},
        {";; -- nothing\n; /* here */ ;SELECT 3;", {"SELECT 3"}},
        {"", {}},
    };
    for (const auto& [batch, statements] : cases) {
        const std::vector<QString> split = SplitBatch(QString::fromUtf8(batch));
        EXPECT_EQ(QStringList(split.begin(), split.end()), statements) << batch;
    }
}

// Catches a statement of the program translated into names the server's schema lacks, or refused by it.
TEST(ProgramStatementRuns, OnTheServersEmptyProductDatabase) {
    KESTRANE_REQUIRE_SERVER();
    QTemporaryDir dir;
    ado::Connection connection;
    connection.Open(testsupport::NewProductDatabase(testsupport::Engine::Server, dir.path()));
    for (const Rule& rule : kRules) {
        try {
            if (rule.runs)
                connection.Execute(QString::fromUtf8(rule.written));
        } catch (const ado::Error& err) {
            ADD_FAILURE() << rule.written << ": " << err.Description().toStdString();
        }
    }
}

}  // namespace
