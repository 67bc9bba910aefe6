// The dialect translation: tokens, and every statement the program sends, translated for each engine and
// accepted by it.
#include "ado/connection.h"
#include "ado/sql/dialect.h"
#include "support/databases.h"
#include "support/product_schema.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using ado::sql::SplitBatch;
using ado::sql::Token;
using ado::sql::Tokenize;
using ado::sql::TokenKind;
using ado::sql::ToPostgres;
using ado::sql::ToSqlite;

// ---- Tokens -------------------------------------------------------------------------------------------

// Catches a token that loses or adds text (joined, the tokens give the text back), or of the wrong kind.
TEST(Tokenize, GivesTheTextBackInTokensOfTheirKinds) {
    const char* texts[] = {
        "SELECT * FROM [Court Charges] WHERE [Court Charge ID] = 3",
        "SELECT 'it''s; [not] a -- name' AS \"quoted \"\" name\" FROM t -- trailing; note",
        "/* block ' comment */SELECT 1.5e-3, .25, x<>y, a::text, b||c FROM t;\n\tSELECT 2",
        "SELECT 'unterminated", "SELECT [unterminated", "SELECT [a]]b] FROM /* unterminated", "",
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
    EXPECT_EQ(kinds, u"|W:SELECT|_: |B:[People ID]|Y:,|Q:\"x\"|_: |W:FROM|_: |W:t|_: |W:WHERE|_: |W:n|Y:="
                                    "|S:'a''b'|_: |W:AND|_: |W:v|Y:<>|Y:-|N:1.5|_: |C:-- c|_:\n|C:/*d*/"_s);
}

// Catches a number's shape that takes out what is no number token (in text, names, comments) or leaves one.
TEST(ShapeOfNumbers, TakesOutTheNumbersTheTokensHoldAndNothingElse) {
    const QString sql =
        u"SELECT TOP 1 ID FROM t2 WHERE a = 12 AND b = 'x 3' AND [c 4] = -5.5 AND d = .5 -- 6\n"_s;
    const ado::sql::NumberShape shape = ado::sql::ShapeOfNumbers(sql);
    EXPECT_EQ(shape.signature,
              u"SELECT TOP %1 ID FROM t2 WHERE a = %1 AND b = 'x 3' AND [c 4] = -%1 AND d = %1 -- 6\n"_s
                  .arg(ado::sql::kNumberMark));
    QStringList numbers;
    for (const QStringView number : shape.numbers)
        numbers << number.toString();
    EXPECT_EQ(numbers, (QStringList{"1", "12", "5.5", ".5"}));
}

// ---- Translation rules --------------------------------------------------------------------------------

// Catches a rule that moves TOP wrongly or changes what it must leave (names, text, comments, plain deletes).
TEST(Dialect, TranslationRulesGiveTheExactText) {
    const struct {
        const char* written;
        const char* sqlite;    // nullptr: as written
        const char* postgres;  // nullptr: as for SQLite
    } rules[] = {
        {"SELECT TOP 5 a FROM t", "SELECT a FROM t LIMIT 5", nullptr},
        {"select distinct top 3 a from t order by a", "select distinct a from t order by a LIMIT 3", nullptr},
        {"SELECT TOP (2) * FROM t", "SELECT * FROM t LIMIT 2", nullptr},
        {"SELECT * FROM (SELECT TOP 2 * FROM (SELECT TOP 9 a FROM t ORDER BY a) x) y WHERE b=1",
         "SELECT * FROM (SELECT * FROM (SELECT a FROM t ORDER BY a LIMIT 9) x LIMIT 2) y WHERE b=1", nullptr},
        {"SELECT TOP 1 a FROM t -- first\n", "SELECT a FROM t LIMIT 1 -- first\n", nullptr},
        {"SELECT TOP 1 a FROM t; SELECT TOP 2 b FROM u", "SELECT a FROM t LIMIT 1; SELECT b FROM u LIMIT 2",
         nullptr},
        {"SELECT top FROM t", nullptr, nullptr},
        {"SELECT 'SELECT TOP 5 [x]' FROM t /* SELECT TOP 1 [y] */", nullptr, nullptr},
        {"SELECT [Say \"Hi\" ]] Now] FROM [T]", nullptr, "SELECT \"say \"\"hi\"\" ] now\" FROM \"t\""},
        {"DELETE Blacklist WHERE ID = 3", nullptr, "DELETE FROM Blacklist WHERE ID = 3"},
        {"DELETE FROM Blacklist WHERE ID = 3", nullptr, nullptr},
        {"SET IDENTITY_INSERT Blacklist ON", nullptr, ""},
        {"SELECT * FROM t WHERE a = TRUE AND b = FALSE", nullptr, nullptr},
    };
    for (const auto& rule : rules) {
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

// ---- Every statement the program sends ----------------------------------------------------------------

// One statement of the program as it writes it for each data source (the users database is always the
// embedded one; the server's own forms go only to the server), and the exact text each engine receives.
struct ProgramStatement {
    std::string name;
    QString jet;         // written with TRUE/FALSE; empty when never sent to the embedded engine
    QString jetSent;     // empty: as written
    QString server;      // written with 1/0; empty when never sent to the server
    QString serverSent;  // empty: as written
};

std::vector<ProgramStatement> ProgramStatements() {
    const auto same = [](const char* name, const char* sql) {
        return ProgramStatement{name, QString::fromUtf8(sql), {}, QString::fromUtf8(sql), {}};
    };
    const auto jetOnly = [](const char* name, const char* sql) {
        return ProgramStatement{name, QString::fromUtf8(sql), {}, {}, {}};
    };
    std::vector<ProgramStatement> all = {
        {"Parameters", u"SELECT * FROM [Parameters] WHERE ID = 1"_s, {},
         u"SELECT * FROM [Parameters] WHERE ID = 1"_s,
         u"SELECT * FROM \"parameters\" WHERE ID = 1"_s},
        jetOnly("Requester", "SELECT * FROM [Application User List] WHERE ID = 5"),
        jetOnly("Workstation",
                "SELECT * FROM [Application Workstation List] WHERE [Workstation Name] = 'WS-01' AND "
                "Active = TRUE"),
        same("Queue", "SELECT * FROM Disqualifications_Queue ORDER BY Creation_Date"),
        same("QueuedAgency", "SELECT * FROM Agencies WHERE ID = 12"),
        {"IdentityBatch", u"INSERT INTO Blacklist (ID) VALUES (7); "_s, {},
         u"SET IDENTITY_INSERT Blacklist ON; INSERT INTO Blacklist (ID) VALUES (7); SET "
                        "IDENTITY_INSERT Blacklist OFF"_s,
         u"INSERT INTO Blacklist (ID) VALUES (7);"_s},
        same("IdentityRow", "SELECT * FROM Blacklist WHERE ID = 7"),
        {"DuplicateTest", u"SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = 345"_s,
         u"SELECT ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = 345 LIMIT 1"_s,
         u"SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = 345"_s,
         u"SELECT ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = 345 LIMIT 1"_s},
        same("AddRecordset", "SELECT * FROM Blacklist WHERE ID = -1"),
        jetOnly("AgencyRemoval", "SELECT * FROM Blacklist WHERE Agency_ID = 12 AND Manually_Entered = FALSE"),
        jetOnly("ClientRemoval", "SELECT * FROM Blacklist WHERE Client_ID = 345 AND Manually_Entered=FALSE"),
        jetOnly("ActivityLog", "SELECT * FROM [Activity Log] WHERE [ID] = -1"),
    };
    for (const auto& [who, id, batch] : {std::tuple{"Agency", "Agency_ID = 12", "500"},
                                         std::tuple{"Client", "Client_ID = 345", "1000"}}) {
        const QString probe = u"SELECT %1ID FROM Blacklist WHERE Manually_Entered = 0 AND %2 ORDER BY ID%3"_s;
        all.push_back({std::string(who) + "Probe", {}, {}, probe.arg(u"TOP 1 "_s, id, QString()),
                       probe.arg(QString(), id, u" LIMIT 1"_s)});
        all.push_back({std::string(who) + "BatchDelete", {}, {},
                       u"DELETE Blacklist FROM (SELECT TOP %1 * FROM Blacklist WHERE %2 AND "
                                      "Manually_Entered = 0 ORDER BY ID) AS t1 Where t1.ID = Blacklist.ID"_s
                           .arg(batch, id),
                       u"DELETE FROM Blacklist USING (SELECT * FROM Blacklist WHERE %2 AND "
                                      "Manually_Entered = 0 ORDER BY ID LIMIT %1) AS t1 WHERE t1.ID = "
                                      "Blacklist.ID"_s
                           .arg(batch, id)});
    }
    // The scans of one client's cases and history, and per offence kind, the scans of every case and history
    // and the agencies' list.
    const QString flags = u"SELECT [Court Charges].Drug_Related, [Court Charges].Sex_Crime, [Court "
                                         "Charges].Theft_Related, [Court Charges].Violent_Crime FROM "_s;
    const QString flagsSent = u"SELECT \"court charges\".Drug_Related, \"court charges\".Sex_Crime, "
                                             "\"court charges\".Theft_Related, \"court charges\"."
                                             "Violent_Crime FROM "_s;
    const QString anyFlag =
        u" AND (Sex_Crime = %1 OR Drug_Related = %1 OR Violent_Crime = %1 OR Theft_Related = %1)"_s;
    const QString cases = u"Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = [Court Charges]"_s;
    const QString casesSent =
        u"Cases LEFT JOIN \"court charges\" ON Cases.\"court charge\" = \"court charges\""_s;
    const QString history = u"[Client Criminal History] LEFT JOIN [Court Charges] ON [Client Criminal "
                                           "History].[Court Charge ID] = [Court Charges]"_s;
    const QString historySent = u"\"client criminal history\" LEFT JOIN \"court charges\" ON \"client "
                                               "criminal history\".\"court charge id\" = \"court charges\""_s;
    const std::tuple<const char*, QString, QString, const char*, const char*> sources[] = {
        {"Case", cases, casesSent, "[People ID]", "\"people id\""},
        {"History", history, historySent, "[Client ID]", "\"client id\""}};
    for (const auto& [name, from, fromSent, client, clientSent] : sources) {
        const QString mine = u".ID WHERE %1 = 345"_s.arg(QString::fromUtf8(client));
        all.push_back({std::string("Client") + name + "Scan", flags + from + mine + anyFlag.arg("TRUE"), {},
                       flags + from + mine + anyFlag.arg("1"),
                       flagsSent + fromSent + u".ID WHERE %1 = 345"_s.arg(QString::fromUtf8(clientSent)) +
                           anyFlag.arg("1")});
        for (const char* flag : {"Drug_Related", "Sex_Crime", "Theft_Related", "Violent_Crime"}) {
            const QString every = u"SELECT * FROM %1.[ID] WHERE %2 = "_s.arg(from, QString::fromUtf8(flag));
            all.push_back({std::string(name) + "Scan_" + flag, every + "TRUE", {}, every + "1",
                           u"SELECT * FROM %1.\"id\" WHERE %2 = 1"_s.arg(fromSent, QString::fromUtf8(flag))});
        }
    }
    for (const char* refusal :
         {"No_Drug_Offenders", "No_Sex_Offenders", "No_Theft_Offenders", "No_Violent_Offenders"}) {
        const QString list = u"SELECT [ID] FROM Agencies WHERE %1 = %2 AND Inactive = %3"_s.arg(refusal);
        all.push_back({"AgencyList_" + std::string(refusal), list.arg("TRUE", "FALSE"), {},
                       list.arg("1", "0"),
                       u"SELECT \"id\" FROM Agencies WHERE %1 = 1 AND Inactive = 0"_s.arg(refusal)});
    }
    return all;
}

// Catches a statement of the program that reaches an engine other than exactly as expected.
TEST(Dialect, EachProgramStatementReachesEachEngineAsExpected) {
    for (const ProgramStatement& statement : ProgramStatements()) {
        SCOPED_TRACE(statement.name);
        if (!statement.jet.isEmpty()) {
            EXPECT_EQ(ToSqlite(statement.jet),
                      statement.jetSent.isEmpty() ? statement.jet : statement.jetSent);
        }
        if (!statement.server.isEmpty()) {
            const QString sent = statement.serverSent.isEmpty() ? statement.server : statement.serverSent;
            EXPECT_EQ(ToPostgres(statement.server), sent);
        }
    }
}

class ProgramStatementRuns : public ::testing::TestWithParam<testsupport::Engine> {};

// Catches a translated statement naming what the schema lacks, or refused by the engine.
TEST_P(ProgramStatementRuns, OnAnEmptyProductDatabase) {
    const bool jet = GetParam() == testsupport::Engine::Jet;
    if (!jet)
        KESTRANE_REQUIRE_SERVER();
    QTemporaryDir dir;
    ado::Connection connection;
    connection.Open(testsupport::NewProductDatabase(GetParam(), dir.path()));
    int ran = 0;
    for (const ProgramStatement& statement : ProgramStatements()) {
        const QString sql = jet ? statement.jet : statement.server;
        if (sql.isEmpty())
            continue;
        try {
            connection.Execute(sql);
            ++ran;
        } catch (const ado::Error& err) {
            ADD_FAILURE() << statement.name << ": " << err.Description().toStdString();
        }
    }
    EXPECT_GT(ran, 20);
}

INSTANTIATE_TEST_SUITE_P(Engines, ProgramStatementRuns,
                         ::testing::Values(testsupport::Engine::Jet, testsupport::Engine::Server),
                         [](const auto& info) {
                             return info.param == testsupport::Engine::Jet ? "Jet" : "Server";
                         });

}  // namespace
