// The statement trace: this test program writes its trace to a file of its own, named before anything runs.
#include "ado/trace.h"
#include "ado/connection.h"
#include "ado/recordset.h"
#include "support/databases.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The trace is chosen once per process, so it is named before main runs, in a folder removed at exit.
const QTemporaryDir traceDir;
const QString tracePath = traceDir.filePath(QStringLiteral("trace.log"));
const bool traceNamed = qputenv("KESTRANE_SQL_TRACE", tracePath.toUtf8());

// The lines of the trace whose written statement contains marker, split into their four fields.
std::vector<QStringList> TraceLines(const QString& marker) {
    QFile file(tracePath);
    std::vector<QStringList> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(u'\t');
        if (fields.size() == 4 && fields[2].contains(marker))
            lines.push_back(fields);
    }
    return lines;
}

// Catches a statement traced twice or not at all, without its provider, time, or the text the engine got.
TEST(TraceTest, EachStatementIsWrittenOnceAsWrittenAndAsSent) {
    ASSERT_TRUE(traceNamed && ado::TraceEnabled());
    QTemporaryDir dir;
    ado::Connection connection;
    connection.Open(testsupport::NewJetDatabase(dir.path()));
    connection.Execute(QStringLiteral("CREATE TABLE TracedA (ID INTEGER PRIMARY KEY, Name TEXT)"));
    connection.Execute(QStringLiteral("INSERT INTO TracedA (Name) VALUES ('x')"));
    ado::Recordset keyset;
    keyset.Open(QStringLiteral("SELECT * FROM TracedA\nWHERE ID > 0"), connection, ado::adOpenKeyset,
                ado::adLockPessimistic);
    keyset.Fields(QStringLiteral("Name")) = ado::Variant("y");
    keyset.Update();
    ado::Recordset top;
    top.Open(QStringLiteral("SELECT TOP 1 ID FROM TracedA ORDER BY ID"), connection);

    const std::pair<const char*, const char*> cases[] = {
        // written, and what the sent text holds
        {"INSERT INTO TracedA", "INSERT INTO TracedA"},
        {"SELECT * FROM TracedA\\nWHERE", "SELECT * FROM TracedA\\nWHERE"},
        // A query runs by its shape with the trace on as off: the prepared text, then the values bound.
        {"SELECT TOP 1 ID FROM TracedA", "SELECT ID FROM TracedA ORDER BY ID LIMIT ?1 /* 1 */"},
    };
    for (const auto& [marker, sent] : cases) {
        SCOPED_TRACE(marker);
        const auto lines = TraceLines(QString::fromUtf8(marker));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0][1], QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
        EXPECT_TRUE(lines[0][3].contains(QString::fromUtf8(sent))) << lines[0][3].toStdString();
        EXPECT_TRUE(QDateTime::fromString(lines[0][0], Qt::ISODateWithMs).isValid());
    }
}

}  // namespace
