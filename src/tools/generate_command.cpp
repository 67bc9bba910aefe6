// kestrane-admin generate: fills an empty product database with realistic sample data of a chosen size.
#include "ado/connection.h"
#include "ado/recordset.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/data_location.h"
#include "tools/sample_data.h"

#include <QElapsedTimer>
#include <QTextStream>

#include <map>

namespace tools {

namespace {

constexpr int kRowsPerStatement = 500;

// The tables the sample fills, which must be empty so that their rows are numbered from 1.
const QStringList kFilledTables{
    QStringLiteral("People"), QStringLiteral("[Court Charges]"),           QStringLiteral("Agencies"),
    QStringLiteral("Cases"),  QStringLiteral("[Client Criminal History]"), QStringLiteral("Blacklist")};

int32_t CountRows(ado::Connection& connection, const QString& table) {
    ado::Recordset count;
    count.Open(QStringLiteral("SELECT COUNT(*) AS N FROM ") + table, connection);
    return count.Fields(QStringLiteral("N")).ToLong();
}

// Sends the rows as multi-row INSERT statements, kRowsPerStatement at a time, and counts them per table.
class InsertBatcher {
public:
    explicit InsertBatcher(ado::Connection& connection) : connection_(connection) {}

    void Add(const SampleTable& table, const QString& values) {
        if (table.table != table_)
            Flush();
        table_ = table.table;
        columns_ = table.columns;
        values_ += (rows_ == 0 ? QString() : QStringLiteral(", ")) + values;
        ++counts_[table.table];
        if (++rows_ == kRowsPerStatement)
            Flush();
    }

    void Flush() {
        if (rows_ == 0)
            return;
        connection_.Execute(QStringLiteral("INSERT INTO ") + table_ + QLatin1Char(' ') + columns_ +
                            QStringLiteral(" VALUES ") + values_);
        values_.clear();
        rows_ = 0;
    }

    const std::map<QString, int64_t>& Counts() const { return counts_; }

private:
    ado::Connection& connection_;
    QString table_;
    QString columns_;
    QString values_;
    int rows_ = 0;
    std::map<QString, int64_t> counts_;
};

// A size given on the command line (at least 1), or 0 for the default.
int32_t Size(const QCommandLineParser& parser, const QString& option) {
    return parser.isSet(option) ? ParseCount(parser.value(option), QStringLiteral("--") + option) : 0;
}

int RunGenerate(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions({
        {QStringLiteral("clients"), QStringLiteral("How many clients (default 1000)."), QStringLiteral("N")},
        {QStringLiteral("cases"), QStringLiteral("Case rows (default clients * 10 / 3)."),
         QStringLiteral("N")},
        {QStringLiteral("histories"), QStringLiteral("Criminal-history rows (default clients * 9 / 10)."),
         QStringLiteral("N")},
        {QStringLiteral("charges"), QStringLiteral("Court charges (default clients / 150, 40 to 2000)."),
         QStringLiteral("N")},
        {QStringLiteral("agencies"), QStringLiteral("Agencies (default clients / 1000, 12 to 300)."),
         QStringLiteral("N")},
        {QStringLiteral("seed"), QStringLiteral("The seed: the same seed gives the same rows (default 1)."),
         QStringLiteral("N")},
    });
    AddLocationOptions(parser, true);
    ParseArguments(parser, arguments, 0);

    SampleSizes sizes;
    sizes.clients = parser.isSet(QStringLiteral("clients")) ? Size(parser, QStringLiteral("clients")) : 1000;
    sizes.cases = Size(parser, QStringLiteral("cases"));
    sizes.histories = Size(parser, QStringLiteral("histories"));
    sizes.charges = Size(parser, QStringLiteral("charges"));
    sizes.agencies = Size(parser, QStringLiteral("agencies"));
    sizes.seed = static_cast<uint64_t>(
        parser.isSet(QStringLiteral("seed"))
            ? ParseNumber(parser.value(QStringLiteral("seed")), QStringLiteral("--seed"), 0)
            : 1);
    Database main = ResolveDataLocation(LocationOverridesOf(parser)).MainDatabase();

    main.Open();
    for (const QString& table : kFilledTables) {
        if (main.Read(QStringLiteral("count the rows of ") + table + QStringLiteral(" in"),
                      [&](ado::Connection& connection) { return CountRows(connection, table); }) != 0) {
            throw CommandFailed(
                kExitRefused,
                QStringLiteral("Table ") + table +
                    QStringLiteral(" already holds rows; generate fills an empty database only."));
        }
    }

    QElapsedTimer timer;
    timer.start();
    InsertBatcher batcher(main.Connection());
    main.Read(QStringLiteral("fill"), [&](ado::Connection& connection) {
        connection.BeginTrans();
        try {
            GenerateSample(
                sizes, [&](const SampleTable& table, const QString& values) { batcher.Add(table, values); });
            batcher.Flush();
            connection.CommitTrans();
        } catch (...) {
            connection.RollbackTrans();
            throw;
        }
    });
    main.Close();

    QTextStream out(stdout);
    out << "Generated with seed " << sizes.seed << " in " << timer.elapsed() / 1000.0 << " s:" << Qt::endl;
    for (const auto& [table, count] : batcher.Counts())
        out << "  " << table << ": " << count << " rows" << Qt::endl;
    return kExitOk;
}

}  // namespace

const Command kGenerateCommand{
    QStringLiteral("generate"),
    QStringLiteral("[--clients N] [--cases N] [--histories N] [--charges N] [--agencies N] [--seed N]\n"
                   "      [--data-path DIR | --server SOURCE [--catalog NAME]]"),
    QStringLiteral(
        "Fill an empty database with sample clients, charges, cases, history, agencies and entries."),
    RunGenerate};

}  // namespace tools
