// The Jet provider over SQLite files: opening, column kinds, errors, locks held by another process, the
// command time-out, and grouped writes.
#include "ado/connection.h"
#include "ado/recordset.h"
#include "support/databases.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <set>

namespace {

using ado::Variant;

QString JetString(const QString& file) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Persist Security Info=False;")
        .arg(file);
}

class JetProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ado::ClearConnectionPool();
        connectionString_ = testsupport::NewJetDatabase(dir_.path());
        connection_.Open(connectionString_);
        connection_.Execute(
            QStringLiteral("CREATE TABLE [Court Charges] (ID INTEGER PRIMARY KEY, Description TEXT "
                           "NOT NULL, Drug_Related BOOLEAN)"));
    }

    // The error that opening connectionString raises; fails the test when it opens.
    ado::Error OpenError(const QString& connectionString) {
        ado::Connection connection;
        try {
            connection.Open(connectionString);
        } catch (const ado::Error& err) {
            EXPECT_EQ(connection.State(), ado::adStateClosed);
            EXPECT_EQ(connection.GetErrors().Count(), 1);
            return err;
        }
        ADD_FAILURE() << "opened " << connectionString.toStdString();
        return ado::Error(0, 0, {});
    }

    // The error that executing sql raises; fails the test when it runs.
    ado::Error ExecuteError(const QString& sql) {
        try {
            connection_.Execute(sql);
        } catch (const ado::Error& err) {
            return err;
        }
        ADD_FAILURE() << "ran " << sql.toStdString();
        return ado::Error(0, 0, {});
    }

    QString FilePath(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    QString connectionString_;
    ado::Connection connection_;
};

TEST_F(JetProviderTest, AMissingFileIsNotFoundAndNotCreated) {
    const QString missing = FilePath(QStringLiteral("KS.mdb"));
    const ado::Error err = OpenError(JetString(missing));
    EXPECT_EQ(err.Number(), ado::E_FAIL_HR);
    EXPECT_EQ(err.NativeError(), ado::JET_FILE_NOT_FOUND);
    EXPECT_FALSE(QFile::exists(missing));
}

// Neither is changed by the attempt: opening never makes a file a database.
TEST_F(JetProviderTest, AFileThatIsNoDatabaseIsRefused) {
    for (const QByteArray& content :
         {QByteArray("These are the minutes of the meeting, not a database file at all.\n").repeated(40),
          QByteArray()}) {
        QFile file(FilePath(QStringLiteral("notes%1.mdb").arg(content.size())));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        for (const int mode : {ado::adModeUnknown, ado::adModeReadWrite}) {
            ado::Connection connection;
            connection.Mode = mode;
            try {
                connection.Open(JetString(file.fileName()));
                ADD_FAILURE() << "opened " << content.size() << " bytes";
            } catch (const ado::Error& err) {
                EXPECT_EQ(err.Number(), ado::E_FAIL_HR);
                EXPECT_EQ(err.NativeError(), ado::JET_NOT_A_DATABASE);
            }
        }
        EXPECT_EQ(file.size(), content.size());
    }
}

TEST_F(JetProviderTest, AnUnknownProviderIsNotFound) {
    const ado::Error err = OpenError(QStringLiteral("Provider=Nobody.Home.1;Data Source=x;"));
    EXPECT_EQ(err.Number(), ado::ADODB_E_PROVIDERNOTFOUND);
}

TEST_F(JetProviderTest, ALocalFileUsesTheWriteAheadLog) {
    ado::Recordset mode;
    mode.Open(QStringLiteral("PRAGMA journal_mode"), connection_);
    EXPECT_EQ(mode.FieldAt(0).ToString().toLower(), QStringLiteral("wal"));
}

TEST_F(JetProviderTest, ColumnKindsFollowTheDeclaredTypes) {
    connection_.Execute(QStringLiteral(
        "CREATE TABLE Kinds (ID INTEGER PRIMARY KEY, a INT, b LONG, c COUNTER, d BOOLEAN, e BIT, f YESNO, g "
        "REAL, "
        "h DOUBLE, i FLOAT, j DATETIME, k DATE, l TIMESTAMP, m TEXT, n VARCHAR(20), o CHAR(3), p MEMO, q)"));
    connection_.Execute(
        QStringLiteral("INSERT INTO Kinds VALUES (1, 1, 2, 3, 1, 5, -1, 1.5, 2, 3, "
                       "'2024-01-02 03:04:05', '2024-01-02 00:00:00', '2024-01-02 03:04:05', "
                       "'t', 'v', 'c', 'm', 4.25)"));
    const struct {
        const char* field;
        Variant expected;
    } cases[] = {
        {"a", Variant(int32_t{1})},
        {"b", Variant(int32_t{2})},
        {"c", Variant(int32_t{3})},
        {"d", Variant(true)},
        {"e", Variant(true)},  // any non-zero number is true
        {"f", Variant(true)},
        {"g", Variant(1.5)},
        {"h", Variant(2.0)},
        {"i", Variant(3.0)},
        {"j", Variant(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)))},
        {"k", Variant(QDateTime(QDate(2024, 1, 2), QTime(0, 0)))},
        {"l", Variant(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)))},
        {"m", Variant("t")},
        {"n", Variant("v")},
        {"o", Variant("c")},
        {"p", Variant("m")},
        {"q", Variant(4.25)},  // no declared type: as stored
    };
    ado::Recordset rows;
    rows.Open(QStringLiteral("SELECT * FROM Kinds"), connection_);
    for (const auto& c : cases)
        EXPECT_EQ(rows.Fields(c.field).Value(), c.expected) << c.field;
}

TEST_F(JetProviderTest, AssignedValuesTakeTheFieldsKind) {
    ado::Recordset rows;
    rows.Open(QStringLiteral("SELECT * FROM [Court Charges] WHERE ID = -1"), connection_, ado::adOpenKeyset,
              ado::adLockPessimistic);
    rows.AddNew();
    rows.Fields(QStringLiteral("Description")) = Variant(int32_t{12});
    rows.Fields(QStringLiteral("Drug_Related")) = Variant(int32_t{-1});
    EXPECT_EQ(rows.Fields(QStringLiteral("Description")).Value(), Variant("12"));
    rows.Update();
    ado::Recordset stored;
    stored.Open(QStringLiteral("SELECT Drug_Related FROM [Court Charges] WHERE Drug_Related = TRUE"),
                connection_);
    EXPECT_FALSE(stored.Eof()) << "a true boolean is stored as 1";
}

TEST_F(JetProviderTest, StatementErrorsCarryTheirNumbersAndTheStatement) {
    const struct {
        const char* sql;
        int32_t number;
        const char* description;  // empty: not checked
    } cases[] = {
        {"SELEC * FROM [Court Charges]", ado::DB_E_ERRORSINCOMMAND, ""},
        {"SELECT * FROM Nowhere", ado::DB_E_NOTABLE, ""},
        {"SELECT Nobody FROM [Court Charges]", ado::DB_E_PARAMNOTOPTIONAL,
         "No value given for one or more required parameters."},
        {"INSERT INTO [Court Charges] (ID, Description) VALUES (1, 'a'); "
         "INSERT INTO [Court Charges] (ID, Description) VALUES (1, 'b')",
         ado::DB_E_INTEGRITYVIOLATION, ""},
        {"INSERT INTO [Court Charges] (Description) VALUES (NULL)", ado::DB_E_INTEGRITYVIOLATION, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        const ado::Error err = ExecuteError(QString::fromUtf8(c.sql));
        EXPECT_EQ(err.Number(), c.number);
        if (*c.description) {
            EXPECT_EQ(err.Description(), QString::fromUtf8(c.description));
        }
        EXPECT_EQ(err.Statement(), QString::fromUtf8(c.sql));
        ASSERT_EQ(connection_.GetErrors().Count(), 1);
        EXPECT_EQ(connection_.GetErrors().Item(0).number, c.number);
    }
}

TEST_F(JetProviderTest, AWriteAgainstALockHeldByAnotherProcessFailsQuickly) {
    connection_.Execute(QStringLiteral("INSERT INTO [Court Charges] (Description) VALUES ('a')"));
    QProcess holder;
    holder.start(QStringLiteral("sqlite3"), {FilePath(QStringLiteral("test.mdb"))});
    ASSERT_TRUE(holder.waitForStarted());
    holder.write("BEGIN IMMEDIATE;\nSELECT 'holding';\n");
    while (!holder.readAllStandardOutput().contains("holding"))
        ASSERT_TRUE(holder.waitForReadyRead(10000));

    const auto start = std::chrono::steady_clock::now();
    const ado::Error err = ExecuteError(QStringLiteral("UPDATE [Court Charges] SET Description = 'b'"));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(err.Number(), ado::E_FAIL_HR);
    EXPECT_EQ(err.NativeError(), ado::JET_LOCKED);
    EXPECT_LT(waited, std::chrono::seconds(1));

    holder.write("COMMIT;\n");
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(10000));
    connection_.Execute(QStringLiteral("UPDATE [Court Charges] SET Description = 'b'"));
}

TEST_F(JetProviderTest, AStatementRunningPastTheCommandTimeoutIsAborted) {
    connection_.CommandTimeout = 1;
    const auto start = std::chrono::steady_clock::now();
    const ado::Error err = ExecuteError(QStringLiteral(
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT count(*) FROM n"));
    EXPECT_EQ(err.Number(), ado::DB_E_ABORTLIMITREACHED);
    EXPECT_EQ(err.NativeError(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // The connection stays usable.
    connection_.Execute(QStringLiteral("INSERT INTO [Court Charges] (Description) VALUES ('after')"));
}

TEST_F(JetProviderTest, AnExclusiveConnectionKeepsOthersOut) {
    connection_.Close();
    ado::ClearConnectionPool();
    ado::Connection exclusive;
    exclusive.Mode = ado::adModeShareExclusive;
    exclusive.Open(connectionString_);
    const ado::Error err = OpenError(connectionString_);
    EXPECT_EQ(err.NativeError(), ado::JET_LOCKED);
    exclusive.Close();
    // The exclusive session is not kept for reuse: the file is free again.
    ado::Connection shared;
    shared.Open(connectionString_);
    shared.Execute(QStringLiteral("INSERT INTO [Court Charges] (Description) VALUES ('a')"));
}

TEST_F(JetProviderTest, ABatchRunsEveryStatement) {
    int64_t affected = 0;
    connection_.Execute(QStringLiteral("INSERT INTO [Court Charges] (Description) VALUES ('a'); "
                                       "INSERT INTO [Court Charges] (Description) VALUES ('b'); "
                                       "UPDATE [Court Charges] SET Drug_Related = TRUE"),
                        &affected);
    EXPECT_EQ(affected, 2);
}

TEST_F(JetProviderTest, AJoinOpensReadOnlyButNotForUpdate) {
    connection_.Execute(
        QStringLiteral("CREATE TABLE Cases (ID INTEGER PRIMARY KEY, [Court Charge] INTEGER)"));
    connection_.Execute(QStringLiteral("INSERT INTO [Court Charges] (ID, Description) VALUES (7, 'theft')"));
    connection_.Execute(QStringLiteral("INSERT INTO Cases ([Court Charge]) VALUES (7)"));
    const QString join = QStringLiteral(
        "SELECT Cases.ID, [Court Charges].Description FROM Cases LEFT JOIN [Court Charges] "
        "ON Cases.[Court Charge] = [Court Charges].ID");
    ado::Recordset readOnly;
    readOnly.Open(join, connection_, ado::adOpenKeyset, ado::adLockReadOnly);
    EXPECT_EQ(readOnly.RecordCount(), 1);
    EXPECT_EQ(readOnly.Fields(QStringLiteral("Description")).ToString(), QStringLiteral("theft"));
    ado::Recordset forUpdate;
    try {
        forUpdate.Open(join, connection_, ado::adOpenKeyset, ado::adLockPessimistic);
        ADD_FAILURE() << "a join opened for update";
    } catch (const ado::Error& err) {
        EXPECT_EQ(err.Number(), ado::ADODB_E_NOTSUPPORTED);
    }
    EXPECT_EQ(forUpdate.State(), ado::adStateClosed);
}

// Another program commits while this process scans: the scan goes on over the rows it began with, and this
// process's writes, and its duplicate tests, keep working and see each other. A read left open on the file
// would pin the connection to the file as it was before the other commit and refuse every later write.
TEST_F(JetProviderTest, AScanLetsThisProcessWriteAfterAnotherProcessCommits) {
    for (const int rows : {10, 1000}) {  // read at once, and copied
        SCOPED_TRACE(rows);
        connection_.Execute(QStringLiteral("DELETE FROM [Court Charges]"));
        connection_.Execute(QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n "
                                           "WHERE x < %1) INSERT INTO [Court Charges] (ID, Description) "
                                           "SELECT x, 'scanned' FROM n")
                                .arg(rows));
        ado::Recordset add;
        add.Open(QStringLiteral("SELECT * FROM [Court Charges] WHERE ID = -1"), connection_,
                 ado::adOpenKeyset, ado::adLockPessimistic);
        ado::Recordset scan;
        scan.Open(QStringLiteral("SELECT ID, Description FROM [Court Charges]"), connection_);
        std::set<int32_t> seen;
        for (; !scan.Eof(); scan.MoveNext()) {
            EXPECT_EQ(scan.Fields(QStringLiteral("Description")).ToString(), QStringLiteral("scanned"));
            EXPECT_TRUE(seen.insert(scan.Fields(QStringLiteral("ID")).ToLong()).second);
            if (seen.size() != std::min<size_t>(rows, 600))
                continue;
            ado::Recordset before;  // a duplicate test before the other program's commit
            before.Open(QStringLiteral("SELECT TOP 1 ID FROM [Court Charges] WHERE ID = 3"), connection_);
            ASSERT_EQ(QProcess::execute(QStringLiteral("sqlite3"),
                                        {FilePath(QStringLiteral("test.mdb")),
                                         QStringLiteral("INSERT INTO [Court Charges] (ID, Description) "
                                                        "VALUES (5000, 'other')")}),
                      0);
            add.AddNew();
            add.Fields(QStringLiteral("Description")) = Variant(QStringLiteral("mine"));
            add.Update();
            ado::Recordset after;
            after.Open(QStringLiteral("SELECT TOP 1 ID FROM [Court Charges] WHERE Description = 'mine'"),
                       connection_);
            EXPECT_FALSE(after.Eof());
        }
        EXPECT_EQ(seen.size(), static_cast<size_t>(rows));
    }
}

// Queries that differ only in their numbers share one prepared statement with the numbers bound: each must
// still find its own rows, and literals that are not values keep their meaning.
TEST_F(JetProviderTest, NumbersOfAQueryAreBoundWithoutChangingItsMeaning) {
    connection_.Execute(QStringLiteral(
        "INSERT INTO [Court Charges] (Description) VALUES ('Burglary'), ('Arson'), ('Fraud')"));
    struct Case {
        QString sql;
        QString field;
        QString value;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("SELECT Description FROM [Court Charges] WHERE ID = 1"),
         QStringLiteral("Description"), QStringLiteral("Burglary")},
        {QStringLiteral("SELECT Description FROM [Court Charges] WHERE ID = 2"),
         QStringLiteral("Description"), QStringLiteral("Arson")},
        {QStringLiteral("SELECT TOP 1 Description FROM [Court Charges] WHERE ID > 1 ORDER BY 1"),
         QStringLiteral("Description"), QStringLiteral("Arson")},
        {QStringLiteral("SELECT 7 FROM [Court Charges] WHERE ID = 3"), QStringLiteral("7"),
         QStringLiteral("7")},
        {QStringLiteral("SELECT COUNT(*) AS N FROM [Court Charges] WHERE ID < 3000000000"),
         QStringLiteral("N"), QStringLiteral("3")},
        {QStringLiteral("SELECT Description FROM [Court Charges] WHERE ID = 3.0"),
         QStringLiteral("Description"), QStringLiteral("Fraud")},
        {QStringLiteral("SELECT Description FROM [Court Charges] WHERE Description = 'Arson' AND ID = 2"),
         QStringLiteral("Description"), QStringLiteral("Arson")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql.toStdString());
        ado::Recordset rows;
        rows.Open(c.sql, connection_);
        ASSERT_FALSE(rows.Eof());
        EXPECT_EQ(rows.Fields(c.field).ToString(), c.value);
    }
}

// What another process sees of the file: sqlite3 run on it, printing the result of sql.
QString SeenByAnotherProcess(const QString& file, const QString& sql) {
    QProcess reader;
    reader.start(QStringLiteral("sqlite3"), {file, sql});
    if (!reader.waitForFinished(10000))
        return QStringLiteral("(no answer)");
    return QString::fromUtf8(reader.readAllStandardOutput()).trimmed();
}

void AddCharge(ado::Connection& connection, const QString& description) {
    ado::Recordset add;
    add.Open(QStringLiteral("SELECT * FROM [Court Charges]"), connection, ado::adOpenKeyset,
             ado::adLockPessimistic);
    add.AddNew();
    add.Fields(QStringLiteral("Description")) = description;
    add.Update();
}

TEST_F(JetProviderTest, AGroupedWriteIsSeenAtOnceInTheProcessAndByOthersOnceClosed) {
    ado::Connection other;
    other.Open(connectionString_);
    for (int i = 0; i < 3; ++i)
        AddCharge(connection_, QStringLiteral("Charge %1").arg(i));
    // The other connection shares the engine handle: no commit is needed for it to see the rows.
    ado::Recordset count;
    count.Open(QStringLiteral("SELECT COUNT(*) AS N FROM [Court Charges]"), other);
    EXPECT_EQ(count.Fields(QStringLiteral("N")).ToLong(), 3);
    count.Close();
    other.Close();

    connection_.Close();
    EXPECT_EQ(SeenByAnotherProcess(FilePath(QStringLiteral("test.mdb")),
                                   QStringLiteral("SELECT COUNT(*) FROM \"Court Charges\"")),
              QStringLiteral("3"));
}

// The child of the next test: adds a row through a recordset and ends the process without closing anything.
TEST(GroupedWritesChild, DISABLED_EndsWithoutClosing) {
    auto* connection = new ado::Connection;  // never closed: the process ends with the write grouped
    connection->Open(JetString(qEnvironmentVariable("KESTRANE_GROUPED_FILE")));
    AddCharge(*connection, QStringLiteral("Written last"));
    std::exit(0);
}

TEST_F(JetProviderTest, AProcessThatEndsWithoutClosingStillCommitsItsWrites) {
    connection_.Close();
    ado::ClearConnectionPool();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KESTRANE_GROUPED_FILE"), FilePath(QStringLiteral("test.mdb")));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=GroupedWritesChild.DISABLED_EndsWithoutClosing")});
    ASSERT_TRUE(child.waitForFinished(60000));
    ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
    EXPECT_EQ(SeenByAnotherProcess(FilePath(QStringLiteral("test.mdb")),
                                   QStringLiteral("SELECT Description FROM \"Court Charges\"")),
              QStringLiteral("Written last"));
}

}  // namespace

// A database that fills up in the middle of grouped writes: the record operation that meets it gets an error
// that names the cause and the writes the engine took back with it, and the table holds what was written
// before them, never a mix. At its page limit the engine takes back the failed insert alone; when a file may
// not grow (a full disk: writes fail with EFBIG past the process's file-size limit) the commit fails and the
// engine takes back the whole group, which must then be named.
TEST_F(JetProviderTest, AFullDatabaseFailsAWriteAndKeepsAPrefixOfTheWrites) {
    struct Case {
        const char* name;
        std::function<void()> fill;  // makes the database full from here on
        std::function<void()> undo;
        const char* cause;
        bool groupNamed;  // the failure must name a group of lost writes
    };
    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const auto connection = &connection_;
    const std::vector<Case> cases = {
        {"page limit",
         [connection] {
             ado::Recordset pages;
             pages.Open(QStringLiteral("PRAGMA page_count"), *connection);
             connection->Execute(
                 QStringLiteral("PRAGMA max_page_count = %1").arg(pages.FieldAt(0).ToLong() + 4));
         },
         [connection] { connection->Execute(QStringLiteral("PRAGMA max_page_count = 1000000")); },
         "database or disk is full", false},
        {"file-size limit",
         [] {
             std::signal(SIGXFSZ, SIG_IGN);
             const rlimit small{512 * 1024, RLIM_INFINITY};
             setrlimit(RLIMIT_FSIZE, &small);
         },
         [unlimited] { setrlimit(RLIMIT_FSIZE, &unlimited); }, "disk I/O error", true},
    };
    int32_t base = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        connection_.Execute(QStringLiteral("DELETE FROM [Court Charges]"));
        ado::Recordset add;
        add.Open(QStringLiteral("SELECT * FROM [Court Charges] WHERE ID = -1"), connection_,
                 ado::adOpenKeyset, ado::adLockPessimistic);
        c.fill();
        int32_t written = 0;
        int32_t named = 0;
        try {
            for (;;) {
                add.AddNew();
                add.Fields(QStringLiteral("ID")) = Variant(base + written + 1);
                add.Fields(QStringLiteral("Description")) = Variant(QString(200, u'x'));
                add.Update();
                ++written;
            }
        } catch (const ado::Error& err) {
            c.undo();
            EXPECT_EQ(err.Number(), ado::E_FAIL_HR);
            EXPECT_EQ(ado::CauseOf(err.Number(), err.NativeError()), ado::ErrorCause::Permanent);
            const QRegularExpression lost(
                QStringLiteral("^%1( The engine rolled back the (\\d+) write\\(s\\) of its group with it, "
                               "which are lost: (\\d+) insert\\(s\\) into Court Charges\\.)?$")
                    .arg(QString::fromUtf8(c.cause)));
            const QRegularExpressionMatch match = lost.match(err.Description());
            ASSERT_TRUE(match.hasMatch()) << err.Description().toStdString();
            EXPECT_EQ(match.hasCaptured(1), c.groupNamed) << err.Description().toStdString();
            named = match.captured(2).toInt();
            EXPECT_EQ(match.captured(3).toInt(), named);
        }
        c.undo();
        add.Close();
        ado::Recordset kept;
        kept.Open(QStringLiteral("SELECT COUNT(*) AS N, MAX(ID) AS Last FROM [Court Charges]"), connection_);
        const int32_t count = kept.Fields(QStringLiteral("N")).ToLong();
        EXPECT_GT(written, 0);
        // Every write that returned is kept or named; the call that raised may have written into the group
        // it names (when its own commit failed) or not (when the committer's did, or the write failed).
        EXPECT_GE(count + named, written);
        EXPECT_LE(count + named, written + 1);
        if (count > 0)
            EXPECT_EQ(kept.Fields(QStringLiteral("Last")).ToLong(), base + count);  // no gap
        base += written;
    }
}
