// The dialect translation: tokens, and every statement the program sends, translated for each engine and
// accepted by it.
#include "ado/sql/dialect.h"

#include "support/databases.h"
#include "support/product_schema.h"
#include "support/server_connection.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

using ado::sql::SplitBatch;
using ado::sql::Token;
using ado::sql::Tokenize;
using ado::sql::TokenKind;
using ado::sql::ToPostgres;
using ado::sql::ToSqlite;

// ---- Tokens -------------------------------------------------------------------------------------------

QString Joined(const std::vector<Token>& tokens) {
    QString text;
    for (const Token& token : tokens)
        text += token.text;
    return text;
}

TEST(Tokenize, JoiningTheTokensGivesTheTextBack) {
    const QString texts[] = {
        QStringLiteral("SELECT * FROM [Court Charges] WHERE [Court Charge ID] = 3"),
        QStringLiteral("SELECT 'it''s; [not] a -- name' AS \"quoted \"\" name\" FROM t -- trailing; note"),
        QStringLiteral("/* block ' comment */SELECT 1.5e-3, .25, x<>y, a::text, b||c FROM t;\n\tSELECT 2"),
        QStringLiteral("SELECT 'unterminated"),
        QStringLiteral("SELECT [unterminated"),
        QStringLiteral("SELECT [a]]b] FROM /* unterminated"),
        QStringLiteral(""),
    };
    for (const QString& text : texts)
        EXPECT_EQ(Joined(Tokenize(text)), text) << text.toStdString();
}

TEST(Tokenize, TellsTheKindsApart) {
    const std::vector<Token> tokens =
        Tokenize(QStringLiteral("SELECT [People ID],\"x\" FROM t WHERE n='a''b' AND v<>-1.5 -- c\n/*d*/"));
    std::vector<std::pair<TokenKind, QString>> kinds;
    for (const Token& token : tokens)
        kinds.emplace_back(token.kind, token.text);
    const std::vector<std::pair<TokenKind, QString>> expected = {
        {TokenKind::Word, QStringLiteral("SELECT")},
        {TokenKind::Space, QStringLiteral(" ")},
        {TokenKind::BracketName, QStringLiteral("[People ID]")},
        {TokenKind::Symbol, QStringLiteral(",")},
        {TokenKind::QuotedName, QStringLiteral("\"x\"")},
        {TokenKind::Space, QStringLiteral(" ")},
        {TokenKind::Word, QStringLiteral("FROM")},
        {TokenKind::Space, QStringLiteral(" ")},
        {TokenKind::Word, QStringLiteral("t")},
        {TokenKind::Space, QStringLiteral(" ")},
        {TokenKind::Word, QStringLiteral("WHERE")},
        {TokenKind::Space, QStringLiteral(" ")},
        {TokenKind::Word, QStringLiteral("n")},
        {TokenKind::Symbol, QStringLiteral("=")},
        {TokenKind::String, QStringLiteral("'a''b'")},
        {TokenKind::Space, QStringLiteral(" ")},
        {TokenKind::Word, QStringLiteral("AND")},
        {TokenKind::Space, QStringLiteral(" ")},
        {TokenKind::Word, QStringLiteral("v")},
        {TokenKind::Symbol, QStringLiteral("<>")},
        {TokenKind::Symbol, QStringLiteral("-")},
        {TokenKind::Number, QStringLiteral("1.5")},
        {TokenKind::Space, QStringLiteral(" ")},
        {TokenKind::Comment, QStringLiteral("-- c")},
        {TokenKind::Space, QStringLiteral("\n")},
        {TokenKind::Comment, QStringLiteral("/*d*/")},
    };
    EXPECT_EQ(kinds, expected);
}

TEST(ShapeOfNumbers, TakesOutTheNumbersTheTokensHoldAndNothingElse) {
    const QString sql = QStringLiteral(
        "SELECT TOP 1 ID FROM t2 WHERE a = 12 AND b = 'x 3' AND [c 4] = -5.5 AND d = .5 -- 6\n");
    const ado::sql::NumberShape shape = ado::sql::ShapeOfNumbers(sql);
    const QChar mark = ado::sql::kNumberMark;
    EXPECT_EQ(shape.signature,
              QStringLiteral("SELECT TOP %1 ID FROM t2 WHERE a = %1 AND b = 'x 3' AND [c 4] = -%1 "
                             "AND d = %1 -- 6\n")
                  .arg(mark));
    QStringList numbers;
    for (const QStringView number : shape.numbers)
        numbers << number.toString();
    QStringList fromTokens;
    for (const Token& token : Tokenize(sql)) {
        if (token.kind == TokenKind::Number)
            fromTokens << token.text;
    }
    EXPECT_EQ(numbers, fromTokens);
    EXPECT_EQ(numbers, (QStringList{QStringLiteral("1"), QStringLiteral("12"), QStringLiteral("5.5"),
                                    QStringLiteral(".5")}));
}

// ---- Translation rules --------------------------------------------------------------------------------

struct Rule {
    const char* name;
    QString written;
    QString sqlite;
    QString postgres;
};

class TranslationRule : public ::testing::TestWithParam<Rule> {};

TEST_P(TranslationRule, GivesTheExactText) {
    const Rule& rule = GetParam();
    EXPECT_EQ(ToSqlite(rule.written).toStdString(), rule.sqlite.toStdString());
    EXPECT_EQ(ToPostgres(rule.written).toStdString(), rule.postgres.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Dialect, TranslationRule,
    ::testing::Values(
        Rule{"TopAtTheEnd", QStringLiteral("SELECT TOP 5 a FROM t"),
             QStringLiteral("SELECT a FROM t LIMIT 5"), QStringLiteral("SELECT a FROM t LIMIT 5")},
        Rule{"TopAfterDistinct", QStringLiteral("select distinct top 3 a from t order by a"),
             QStringLiteral("select distinct a from t order by a LIMIT 3"),
             QStringLiteral("select distinct a from t order by a LIMIT 3")},
        Rule{"TopInParentheses", QStringLiteral("SELECT TOP (2) * FROM t"),
             QStringLiteral("SELECT * FROM t LIMIT 2"), QStringLiteral("SELECT * FROM t LIMIT 2")},
        Rule{"TopInNestedSubSelects",
             QStringLiteral(
                 "SELECT * FROM (SELECT TOP 2 * FROM (SELECT TOP 9 a FROM t ORDER BY a) x) y WHERE b=1"),
             QStringLiteral(
                 "SELECT * FROM (SELECT * FROM (SELECT a FROM t ORDER BY a LIMIT 9) x LIMIT 2) y WHERE b=1"),
             QStringLiteral(
                 "SELECT * FROM (SELECT * FROM (SELECT a FROM t ORDER BY a LIMIT 9) x LIMIT 2) y WHERE b=1")},
        Rule{"TopBeforeTrailingComment", QStringLiteral("SELECT TOP 1 a FROM t -- first\n"),
             QStringLiteral("SELECT a FROM t LIMIT 1 -- first\n"),
             QStringLiteral("SELECT a FROM t LIMIT 1 -- first\n")},
        Rule{"TopInEachStatementOfABatch", QStringLiteral("SELECT TOP 1 a FROM t; SELECT TOP 2 b FROM u"),
             QStringLiteral("SELECT a FROM t LIMIT 1; SELECT b FROM u LIMIT 2"),
             QStringLiteral("SELECT a FROM t LIMIT 1; SELECT b FROM u LIMIT 2")},
        Rule{"TopAsANameStays", QStringLiteral("SELECT top FROM t"), QStringLiteral("SELECT top FROM t"),
             QStringLiteral("SELECT top FROM t")},
        Rule{"TextInStringsAndCommentsStays",
             QStringLiteral("SELECT 'SELECT TOP 5 [x]' FROM t /* SELECT TOP 1 [y] */"),
             QStringLiteral("SELECT 'SELECT TOP 5 [x]' FROM t /* SELECT TOP 1 [y] */"),
             QStringLiteral("SELECT 'SELECT TOP 5 [x]' FROM t /* SELECT TOP 1 [y] */")},
        Rule{"BracketNameWithQuotesAndBrackets", QStringLiteral("SELECT [Say \"Hi\" ]] Now] FROM [T]"),
             QStringLiteral("SELECT [Say \"Hi\" ]] Now] FROM [T]"),
             QStringLiteral("SELECT \"say \"\"hi\"\" ] now\" FROM \"t\"")},
        Rule{"DeleteWithoutFrom", QStringLiteral("DELETE Blacklist WHERE ID = 3"),
             QStringLiteral("DELETE Blacklist WHERE ID = 3"),
             QStringLiteral("DELETE FROM Blacklist WHERE ID = 3")},
        Rule{"StandardDeleteStays", QStringLiteral("DELETE FROM Blacklist WHERE ID = 3"),
             QStringLiteral("DELETE FROM Blacklist WHERE ID = 3"),
             QStringLiteral("DELETE FROM Blacklist WHERE ID = 3")},
        Rule{"IdentityInsertAloneLeavesNothing", QStringLiteral("SET IDENTITY_INSERT Blacklist ON"),
             QStringLiteral("SET IDENTITY_INSERT Blacklist ON"), QStringLiteral("")},
        Rule{"BooleanWordsStay", QStringLiteral("SELECT * FROM t WHERE a = TRUE AND b = FALSE"),
             QStringLiteral("SELECT * FROM t WHERE a = TRUE AND b = FALSE"),
             QStringLiteral("SELECT * FROM t WHERE a = TRUE AND b = FALSE")}),
    [](const ::testing::TestParamInfo<Rule>& info) { return std::string(info.param.name); });

struct Split {
    const char* name;
    QString batch;
    std::vector<QString> statements;
};

class SplitBatchCase : public ::testing::TestWithParam<Split> {};

TEST_P(SplitBatchCase, SplitsAtTheSemicolonsBetweenStatements) {
    EXPECT_EQ(SplitBatch(GetParam().batch), GetParam().statements);
}

INSTANTIATE_TEST_SUITE_P(
    Dialect, SplitBatchCase,
    ::testing::Values(Split{"One", QStringLiteral("SELECT 1"), {QStringLiteral("SELECT 1")}},
                      Split{"TrailingSemicolonAndBlanks",
                            QStringLiteral(" INSERT INTO t (ID) VALUES (7); \n"),
                            {QStringLiteral("INSERT INTO t (ID) VALUES (7)")}},
                      Split{"SemicolonsInsideTextAndNames",
                            QStringLiteral("SELECT ';' AS \"a;b\", [c;d] FROM t; -- x;y\nSELECT 2"),
                            {QStringLiteral("SELECT ';' AS \"a;b\", [c;d] FROM t"),
                             QStringLiteral("-- x;y\nSELECT 2")}},
                      Split{"EmptyAndCommentOnlyPartsDropped",
                            QStringLiteral(";; -- nothing\n; /* here */ ;SELECT 3;"),
                            {QStringLiteral("SELECT 3")}},
                      Split{"Empty", QStringLiteral(""), {}}),
    [](const ::testing::TestParamInfo<Split>& info) { return std::string(info.param.name); });

// ---- Every statement the program sends ----------------------------------------------------------------

// One statement of the program, as it writes it for each data source (the users database is always the
// embedded one; the SQL Server forms go only to the server), and the exact text each engine receives.
struct ProgramStatement {
    std::string name;
    QString jet;  // written with TRUE/FALSE; empty when never sent to the embedded engine
    QString jetSent;
    QString server;  // written with 1/0; empty when never sent to the server
    QString serverSent;
};

const QString kCaseScan = QStringLiteral(
    "SELECT * FROM Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = [Court Charges].[ID] WHERE ");
const QString kCaseScanSent = QStringLiteral(
    "SELECT * FROM Cases LEFT JOIN \"court charges\" ON Cases.\"court charge\" = \"court charges\".\"id\" "
    "WHERE ");
const QString kHistoryScan = QStringLiteral(
    "SELECT * FROM [Client Criminal History] LEFT JOIN [Court Charges] ON [Client Criminal History].[Court "
    "Charge "
    "ID] = [Court Charges].[ID] WHERE ");
const QString kHistoryScanSent = QStringLiteral(
    "SELECT * FROM \"client criminal history\" LEFT JOIN \"court charges\" ON \"client criminal "
    "history\".\"court "
    "charge id\" = \"court charges\".\"id\" WHERE ");
const QString kFlags = QStringLiteral(
    "SELECT [Court Charges].Drug_Related, [Court Charges].Sex_Crime, [Court Charges].Theft_Related, [Court "
    "Charges].Violent_Crime FROM ");
const QString kFlagsSent = QStringLiteral(
    "SELECT \"court charges\".Drug_Related, \"court charges\".Sex_Crime, \"court charges\".Theft_Related, "
    "\"court "
    "charges\".Violent_Crime FROM ");
const QString kClientCases = QStringLiteral(
    "Cases LEFT JOIN [Court Charges] ON Cases.[Court Charge] = [Court Charges].ID WHERE [People ID] = 345");
const QString kClientCasesSent = QStringLiteral(
    "Cases LEFT JOIN \"court charges\" ON Cases.\"court charge\" = \"court charges\".ID WHERE \"people id\" "
    "= 345");
const QString kClientHistory = QStringLiteral(
    "[Client Criminal History] LEFT JOIN [Court Charges] ON [Client Criminal History].[Court Charge ID] = "
    "[Court "
    "Charges].ID WHERE [Client ID] = 345");
const QString kClientHistorySent = QStringLiteral(
    "\"client criminal history\" LEFT JOIN \"court charges\" ON \"client criminal history\".\"court charge "
    "id\" = "
    "\"court charges\".ID WHERE \"client id\" = 345");

QString AnyFlag(const QString& t) {
    return QStringLiteral(
               " AND (Sex_Crime = %1 OR Drug_Related = %1 OR Violent_Crime = %1 OR Theft_Related = %1)")
        .arg(t);
}

std::vector<ProgramStatement> ProgramStatements() {
    std::vector<ProgramStatement> all = {
        {"Parameters", QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1"),
         QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1"),
         QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1"),
         QStringLiteral("SELECT * FROM \"parameters\" WHERE ID = 1")},
        {"Requester",
         QStringLiteral("SELECT * FROM [Application User List] WHERE ID = 5"),
         QStringLiteral("SELECT * FROM [Application User List] WHERE ID = 5"),
         {},
         {}},
        {"Workstation",
         QStringLiteral("SELECT * FROM [Application Workstation List] WHERE [Workstation Name] = 'WS-01' AND "
                        "Active = TRUE"),
         QStringLiteral("SELECT * FROM [Application Workstation List] WHERE [Workstation Name] = 'WS-01' AND "
                        "Active = TRUE"),
         {},
         {}},
        {"Queue", QStringLiteral("SELECT * FROM Disqualifications_Queue ORDER BY Creation_Date"),
         QStringLiteral("SELECT * FROM Disqualifications_Queue ORDER BY Creation_Date"),
         QStringLiteral("SELECT * FROM Disqualifications_Queue ORDER BY Creation_Date"),
         QStringLiteral("SELECT * FROM Disqualifications_Queue ORDER BY Creation_Date")},
        {"QueuedAgency", QStringLiteral("SELECT * FROM Agencies WHERE ID = 12"),
         QStringLiteral("SELECT * FROM Agencies WHERE ID = 12"),
         QStringLiteral("SELECT * FROM Agencies WHERE ID = 12"),
         QStringLiteral("SELECT * FROM Agencies WHERE ID = 12")},
        {"IdentityBatch", QStringLiteral("INSERT INTO Blacklist (ID) VALUES (7); "),
         QStringLiteral("INSERT INTO Blacklist (ID) VALUES (7); "),
         QStringLiteral("SET IDENTITY_INSERT Blacklist ON; INSERT INTO Blacklist (ID) VALUES (7); SET "
                        "IDENTITY_INSERT Blacklist OFF"),
         QStringLiteral("INSERT INTO Blacklist (ID) VALUES (7);")},
        {"IdentityRow", QStringLiteral("SELECT * FROM Blacklist WHERE ID = 7"),
         QStringLiteral("SELECT * FROM Blacklist WHERE ID = 7"),
         QStringLiteral("SELECT * FROM Blacklist WHERE ID = 7"),
         QStringLiteral("SELECT * FROM Blacklist WHERE ID = 7")},
        {"DuplicateTest",
         QStringLiteral("SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = 345"),
         QStringLiteral("SELECT ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = 345 LIMIT 1"),
         QStringLiteral("SELECT TOP 1 ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = 345"),
         QStringLiteral("SELECT ID FROM Blacklist WHERE Agency_ID = 12 AND Client_ID = 345 LIMIT 1")},
        {"AddRecordset", QStringLiteral("SELECT * FROM Blacklist WHERE ID = -1"),
         QStringLiteral("SELECT * FROM Blacklist WHERE ID = -1"),
         QStringLiteral("SELECT * FROM Blacklist WHERE ID = -1"),
         QStringLiteral("SELECT * FROM Blacklist WHERE ID = -1")},
        {"AgencyRemovalOnJet",
         QStringLiteral("SELECT * FROM Blacklist WHERE Agency_ID = 12 AND Manually_Entered = FALSE"),
         QStringLiteral("SELECT * FROM Blacklist WHERE Agency_ID = 12 AND Manually_Entered = FALSE"),
         {},
         {}},
        {"AgencyProbe",
         {},
         {},
         QStringLiteral(
             "SELECT TOP 1 ID FROM Blacklist WHERE Manually_Entered = 0 AND Agency_ID = 12 ORDER BY ID"),
         QStringLiteral(
             "SELECT ID FROM Blacklist WHERE Manually_Entered = 0 AND Agency_ID = 12 ORDER BY ID LIMIT 1")},
        {"AgencyBatchDelete",
         {},
         {},
         QStringLiteral("DELETE Blacklist FROM (SELECT TOP 500 * FROM Blacklist WHERE Agency_ID = 12 AND "
                        "Manually_Entered = 0 ORDER BY ID) AS t1 Where t1.ID = Blacklist.ID"),
         QStringLiteral("DELETE FROM Blacklist USING (SELECT * FROM Blacklist WHERE Agency_ID = 12 AND "
                        "Manually_Entered = 0 ORDER BY ID LIMIT 500) AS t1 WHERE t1.ID = Blacklist.ID")},
        {"ClientRemovalOnJet",
         QStringLiteral("SELECT * FROM Blacklist WHERE Client_ID = 345 AND Manually_Entered = FALSE"),
         QStringLiteral("SELECT * FROM Blacklist WHERE Client_ID = 345 AND Manually_Entered = FALSE"),
         {},
         {}},
        {"ClientProbe",
         {},
         {},
         QStringLiteral(
             "SELECT TOP 1 ID FROM Blacklist WHERE Manually_Entered = 0 AND Client_ID = 345 ORDER BY ID"),
         QStringLiteral(
             "SELECT ID FROM Blacklist WHERE Manually_Entered = 0 AND Client_ID = 345 ORDER BY ID LIMIT 1")},
        {"ClientBatchDelete",
         {},
         {},
         QStringLiteral("DELETE Blacklist FROM (SELECT TOP 1000 * FROM Blacklist WHERE Client_ID = 345 AND "
                        "Manually_Entered = 0 ORDER BY ID) AS t1 Where t1.ID = Blacklist.ID"),
         QStringLiteral("DELETE FROM Blacklist USING (SELECT * FROM Blacklist WHERE Client_ID = 345 AND "
                        "Manually_Entered = 0 ORDER BY ID LIMIT 1000) AS t1 WHERE t1.ID = Blacklist.ID")},
        {"ClientCaseScan", kFlags + kClientCases + AnyFlag(QStringLiteral("TRUE")),
         kFlags + kClientCases + AnyFlag(QStringLiteral("TRUE")),
         kFlags + kClientCases + AnyFlag(QStringLiteral("1")),
         kFlagsSent + kClientCasesSent + AnyFlag(QStringLiteral("1"))},
        {"ClientHistoryScan", kFlags + kClientHistory + AnyFlag(QStringLiteral("TRUE")),
         kFlags + kClientHistory + AnyFlag(QStringLiteral("TRUE")),
         kFlags + kClientHistory + AnyFlag(QStringLiteral("1")),
         kFlagsSent + kClientHistorySent + AnyFlag(QStringLiteral("1"))},
        {"ActivityLog",
         QStringLiteral("SELECT * FROM [Activity Log] WHERE [ID] = -1"),
         QStringLiteral("SELECT * FROM [Activity Log] WHERE [ID] = -1"),
         {},
         {}},
    };
    // One scan per offence kind and source, and one agency list per kind.
    const char* charges[] = {"Drug_Related", "Sex_Crime", "Theft_Related", "Violent_Crime"};
    const char* refusals[] = {"No_Drug_Offenders", "No_Sex_Offenders", "No_Theft_Offenders",
                              "No_Violent_Offenders"};
    for (int kind = 0; kind < 4; ++kind) {
        const QString flag = QString::fromLatin1(charges[kind]);
        const QString refusal = QString::fromLatin1(refusals[kind]);
        all.push_back({"CaseScan_" + flag.toStdString(), kCaseScan + flag + QStringLiteral(" = TRUE"),
                       kCaseScan + flag + QStringLiteral(" = TRUE"),
                       kCaseScan + flag + QStringLiteral(" = 1"),
                       kCaseScanSent + flag + QStringLiteral(" = 1")});
        all.push_back({"HistoryScan_" + flag.toStdString(), kHistoryScan + flag + QStringLiteral(" = TRUE"),
                       kHistoryScan + flag + QStringLiteral(" = TRUE"),
                       kHistoryScan + flag + QStringLiteral(" = 1"),
                       kHistoryScanSent + flag + QStringLiteral(" = 1")});
        const QString list = QStringLiteral("SELECT [ID] FROM Agencies WHERE %1 = %2 AND Inactive = %3");
        all.push_back(
            {"AgencyList_" + refusal.toStdString(),
             list.arg(refusal, QStringLiteral("TRUE"), QStringLiteral("FALSE")),
             list.arg(refusal, QStringLiteral("TRUE"), QStringLiteral("FALSE")),
             list.arg(refusal, QStringLiteral("1"), QStringLiteral("0")),
             QStringLiteral("SELECT \"id\" FROM Agencies WHERE %1 = 1 AND Inactive = 0").arg(refusal)});
    }
    return all;
}

class ProgramStatementCase : public ::testing::TestWithParam<ProgramStatement> {};

TEST_P(ProgramStatementCase, ReachesEachEngineAsExpected) {
    const ProgramStatement& statement = GetParam();
    if (!statement.jet.isEmpty())
        EXPECT_EQ(ToSqlite(statement.jet).toStdString(), statement.jetSent.toStdString());
    if (!statement.server.isEmpty()) {
        EXPECT_EQ(ToPostgres(statement.server).toStdString(), statement.serverSent.toStdString());
    }
}

INSTANTIATE_TEST_SUITE_P(Dialect, ProgramStatementCase, ::testing::ValuesIn(ProgramStatements()),
                         [](const ::testing::TestParamInfo<ProgramStatement>& info) {
                             return info.param.name;
                         });

TEST(ProgramStatements, TheServerAcceptsEveryTranslatedStatement) {
    KESTRANE_REQUIRE_SERVER();
    QTemporaryDir dir;
    const QString database = testsupport::NewProductDatabase(testsupport::Engine::Server, dir.path());
    testsupport::ServerConnection server(testsupport::CatalogOf(database));
    int prepared = 0;
    for (const ProgramStatement& statement : ProgramStatements()) {
        if (statement.server.isEmpty())
            continue;
        for (const QString& part : SplitBatch(ToPostgres(statement.server))) {
            const QByteArray name = "check" + QByteArray::number(++prepared);
            PGresult* result =
                PQprepare(server.Raw(), name.constData(), part.toUtf8().constData(), 0, nullptr);
            EXPECT_EQ(PQresultStatus(result), PGRES_COMMAND_OK)
                << statement.name << ": " << PQresultErrorMessage(result);
            PQclear(result);
        }
    }
    EXPECT_GT(prepared, 20);
}

TEST(ProgramStatements, TheEmbeddedEngineAcceptsEveryTranslatedStatement) {
    QTemporaryDir dir;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(dir.filePath(QStringLiteral("KS.mdb"))).constData(), &db),
              SQLITE_OK);
    QFile schema(QStringLiteral(KESTRANE_SCHEMA_DIR "/sqlite.sql"));
    ASSERT_TRUE(schema.open(QIODevice::ReadOnly));
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, schema.readAll().constData(), nullptr, nullptr, &error), SQLITE_OK) << error;
    for (const ProgramStatement& statement : ProgramStatements()) {
        if (statement.jet.isEmpty())
            continue;
        for (const QString& part : SplitBatch(ToSqlite(statement.jet))) {
            sqlite3_stmt* prepared = nullptr;
            EXPECT_EQ(sqlite3_prepare_v2(db, part.toUtf8().constData(), -1, &prepared, nullptr), SQLITE_OK)
                << statement.name << ": " << sqlite3_errmsg(db);
            sqlite3_finalize(prepared);
        }
    }
    sqlite3_close(db);
}

}  // namespace
