#pragma once
// What the whole queue runs start from, on the embedded files and on the server: the product's databases made
// with kestrane-admin (a user, this workstation, a generated sample), and the reads of the rows they check.

#include "support/databases.h"
#include "support/query_rows.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

// gtest shows a text as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace acceptance {

using Pairs = std::set<std::pair<int32_t, int32_t>>;           // (client, agency)
using Requests = std::vector<std::pair<QString, int32_t>>;  // (Table_Name, Table_ID)
using testsupport::QueryRows;

inline const QString kProgram = QStringLiteral("KSProcessDisqualificationsQueue");
inline const QString kWorkstation = QStringLiteral("WS-QUEUE-01");

// The size of a generated sample; the same seed gives the same rows.
struct SampleOptions {
    int clients = 0;
    int agencies = 0;
    int seed = 0;
};

// "Jet" or "Server": the suffix of each engine's tests.
std::string EngineName(const ::testing::TestParamInfo<testsupport::Engine>& info);

class QueueRunFixture : public ::testing::TestWithParam<testsupport::Engine> {
protected:
    // Skips the test on the server when no test server runs.
    void SetUp() override;
    void TearDown() override;

    // A new data set in the folder name, made current: settings, databases (on the server, the catalog made
    // anew on server, or on the shared test server when server is empty), a user, this workstation, the sample.
    void MakeDataSet(const QString& name, const SampleOptions& sample, const QString& server = {});
    // kestrane-admin on the current data set; its standard output. A status other than 0 fails the test.
    QString Admin(const QStringList& arguments);
    // Queues the requests, one second apart in their order, and schedules a rebuild due now.
    void Enqueue(const Requests& requests);
    void QueueAgencies(int first, int last);  // Enqueue of these agencies

    QString MainString() const;
    QString UsersString() const;
    // The (Client_ID, Agency_ID) pairs of the rows of sql on the main database.
    Pairs PairsOf(const QString& sql) const;
    // What rebuilding every agency leaves as automatic entries: the pairs of ruleSql less the manual ones.
    Pairs Expected(const QString& ruleSql) const;
    // The pairs of client and agency that have more than one Blacklist row.
    std::vector<QStringList> DuplicatePairs() const;

    QTemporaryDir temp_;
    QString config_;    // the settings folder (XDG_CONFIG_HOME) of the current data set
    QString dataPath_;  // its data folder, with a trailing "/"
    QString user_;      // the ID of its user
    QString server_;    // its server's Data Source (on the server)
};

}  // namespace acceptance
